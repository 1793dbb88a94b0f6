#include "platform/os_info.h"

#include <sys/utsname.h>

#include <cstdlib>

namespace nimbra {
namespace {

std::string CutAndTrim(std::string text) {
  if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

COpSysInfo::COpSysInfo(const OsVersionRecord& r)
    : major_(r.majorVersion),
      minor_(r.minorVersion),
      platformId_(r.platformId),
      build_(static_cast<std::int16_t>(static_cast<std::uint16_t>(r.buildNumber & 0xFFFF))),
      csdVersion_(CutAndTrim(r.csdVersion)),
      spMajor_(r.servicePackMajor),
      spMinor_(r.servicePackMinor),
      suiteMask_(r.suiteMask),
      productType_(r.productType) {
  if (platformId_ == 1) {
    isWin95_ = true;
    isWin98_ = minor_ > 9;
    isWinME_ = build_ >= 3000;
  } else if (platformId_ == 2) {
    isWinNT_ = true;
    isWin2K_ = major_ > 4;
    isWinXP_ = (major_ > 4 && minor_ > 0) || major_ > 5;
    isWin2003_ = (major_ > 4 && minor_ > 1) || major_ > 5;
    isWinVista_ = major_ > 5;
  }
}

COpSysInfo COpSysInfo::FromSystem() {
  OsVersionRecord record;  // platform id 0: not a Windows system
  struct utsname names {};
  if (::uname(&names) == 0) {
    // The kernel release reads "6.1.0-18-amd64": major, minor and the third number as build.
    const char* p = names.release;
    char* end = nullptr;
    std::uint32_t* fields[] = {&record.majorVersion, &record.minorVersion, &record.buildNumber};
    for (std::uint32_t* field : fields) {
      unsigned long value = std::strtoul(p, &end, 10);
      if (end == p) break;
      *field = static_cast<std::uint32_t>(value);
      if (*end != '.') break;
      p = end + 1;
    }
  }
  return COpSysInfo(record);
}

std::string COpSysInfo::Platform() const {
  if (isWinME_) return "Windows Me";
  if (isWin98_) return "Windows 98";
  if (isWin95_) return "Windows 95";
  if (isWinVista_) return "Windows Vista";
  if (isWin2003_) return "Windows Server 2003";
  if (isWinXP_) return "Windows XP";
  if (isWin2K_) return "Windows 2000";
  if (isWinNT_) return "Windows NT";
  return {};
}

std::string COpSysInfo::Version() const {
  return Platform() + " v" + std::to_string(major_) + "." + std::to_string(minor_) + ", Build " +
         std::to_string(build_);
}

std::string COpSysInfo::ProductTypeName() const {
  switch (productType_) {
    case 0: return "Unknown";
    case 1: return "NT Workstation";
    case 2: return "Domain Controller";
    case 3: return "NT Server";
    default: return {};
  }
}

const COpSysInfo& SharedOsInfo() {
  static const COpSysInfo info = COpSysInfo::FromSystem();
  return info;
}

}  // namespace nimbra
