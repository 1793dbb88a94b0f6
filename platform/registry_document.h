#pragma once
// The registry file's content in memory: sections of values under key headers, plus every line
// that is not a value (comments, blank lines, lines that cannot be read), which is kept so a
// writer changes nothing but what it was asked to change. Pure text in, text out: the file
// itself, its lock and its atomic replacement are registry.cpp's business.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nimbra {

// "HKLM\Software\X" -> "HKEY_LOCAL_MACHINE\Software\X" (root aliases expanded, any case;
// trailing "\" removed). nullopt for an unknown root or an empty path.
std::optional<std::string> CanonicalRegistryKey(std::string_view keyPath);

class RegistryDocument {
 public:
  static RegistryDocument Parse(std::string_view text);
  std::string Serialize() const;

  // Key paths must be canonical (CanonicalRegistryKey); names compare case-insensitively.
  std::optional<std::string> Read(std::string_view key, std::string_view name) const;
  // Return true when the document changed.
  bool Write(std::string_view key, std::string_view name, std::string_view value);
  bool DeleteValue(std::string_view key, std::string_view name);
  bool DeleteKey(std::string_view key);
  std::vector<std::pair<std::string, std::string>> Values(std::string_view key) const;
  std::vector<std::string> SubKeys(std::string_view key) const;

 private:
  struct Line {
    bool isValue = false;
    std::string name;   // "" for the default value "@"
    std::string value;
    std::string raw;    // the line as read; empty once the value was changed
  };
  struct Section {
    std::string header;      // the key path as written between the brackets
    std::string compareKey;  // canonical root + lower-case rest; "" when the root is unknown
    std::vector<Line> lines;
    bool added = false;      // made by a writer, not read from the file
  };

  Section* FindSection(std::string_view key);
  const Section* FindSection(std::string_view key) const;

  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
};

}  // namespace nimbra
