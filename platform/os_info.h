#pragma once
// Operating-system information: version numbers, service pack, suite and product type, and the
// classification flags. The flags are computed from a version record; on Linux the record is
// filled from uname() with platform id 0, so every Windows flag is false there. Callers keep
// their version checks, and the rules stay testable with records of any system.
#include <cstdint>
#include <string>

namespace nimbra {

struct OsVersionRecord {
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::uint32_t platformId = 0;  // 1: the 9x family, 2: the NT family, 0: anything else
  std::string csdVersion;        // service-pack text
  std::uint16_t servicePackMajor = 0;
  std::uint16_t servicePackMinor = 0;
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;
};

class COpSysInfo {
 public:
  explicit COpSysInfo(const OsVersionRecord& record);
  // The running system, from uname(): major.minor from the kernel release, build = its third
  // number, platform id 0.
  static COpSysInfo FromSystem();

  std::uint32_t MajorVersion() const { return major_; }
  std::uint32_t MinorVersion() const { return minor_; }
  std::uint32_t PlatformID() const { return platformId_; }
  // The low 16 bits of the build number as a signed 16-bit value.
  std::int16_t BuildNumber() const { return build_; }
  // Cut at its first NUL and trimmed of blanks.
  const std::string& CSDVersion() const { return csdVersion_; }
  std::uint16_t ServicePackMajor() const { return spMajor_; }
  std::uint16_t ServicePackMinor() const { return spMinor_; }
  std::uint16_t SuiteMask() const { return suiteMask_; }
  std::uint8_t ProductType() const { return productType_; }

  bool HasSBS() const { return suiteMask_ & 0x1; }
  bool HasAS() const { return suiteMask_ & 0x2; }
  bool HasBO() const { return suiteMask_ & 0x4; }
  bool HasTS() const { return suiteMask_ & 0x10; }
  bool HasSBSr() const { return suiteMask_ & 0x20; }
  bool HasDC() const { return suiteMask_ & 0x80; }

  bool IsWin95() const { return isWin95_; }
  bool IsWin98() const { return isWin98_; }
  bool IsWinME() const { return isWinME_; }
  bool IsWin9x() const { return isWin95_ || isWin98_ || isWinME_; }
  bool IsWinNT() const { return isWinNT_; }
  bool IsWin2K() const { return isWin2K_; }
  bool IsWinXP() const { return isWinXP_; }
  bool IsWin2003() const { return isWin2003_; }
  bool IsWinVista() const { return isWinVista_; }

  // "Windows Me", "Windows 98", ... "Windows NT"; "" when no flag applies.
  std::string Platform() const;
  // Platform() + " v" + major + "." + minor + ", Build " + BuildNumber().
  std::string Version() const;
  // 0 "Unknown", 1 "NT Workstation", 2 "Domain Controller", 3 "NT Server"; "" otherwise.
  std::string ProductTypeName() const;

 private:
  std::uint32_t major_, minor_, platformId_;
  std::int16_t build_;
  std::string csdVersion_;
  std::uint16_t spMajor_, spMinor_, suiteMask_;
  std::uint8_t productType_;
  bool isWin95_ = false, isWin98_ = false, isWinME_ = false;
  bool isWinNT_ = false, isWin2K_ = false, isWinXP_ = false, isWin2003_ = false,
       isWinVista_ = false;
};

// The shared instance of the running system, made on first use.
const COpSysInfo& SharedOsInfo();

}  // namespace nimbra
