#include "platform/registry_document.h"

#include <algorithm>

namespace nimbra {
namespace {

constexpr std::pair<std::string_view, std::string_view> kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"}, {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"}, {"HKCU", "HKEY_CURRENT_USER"},
    {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"}, {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKEY_USERS", "HKEY_USERS"}, {"HKUR", "HKEY_USERS"},
};

// Key paths and value names compare like the original registry: ASCII letters ignore case.
std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

std::string_view Trim(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string CompareKey(std::string_view keyPath) {
  auto canonical = CanonicalRegistryKey(keyPath);
  return canonical ? Lower(*canonical) : std::string();
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

// Reads a quoted text starting at text[pos] == '"'; advances pos past the closing quote.
std::optional<std::string> Unquote(std::string_view text, std::size_t& pos) {
  std::string out;
  for (std::size_t i = pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      pos = i + 1;
      return out;
    }
    if (c == '\\' && i + 1 < text.size()) {
      char next = text[++i];
      switch (next) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: out += '\\'; out += next;  // not an escape: kept as written
      }
      continue;
    }
    out += c;
  }
  return std::nullopt;  // no closing quote
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "name"="value", @="value" or "name"=dword:0000000a; nullopt for anything else.
std::optional<std::pair<std::string, std::string>> ParseValueLine(std::string_view line) {
  std::size_t pos = 0;
  std::string name;
  if (line.empty()) return std::nullopt;
  if (line[0] == '@') {
    pos = 1;
  } else if (line[0] == '"') {
    auto quoted = Unquote(line, pos);
    if (!quoted) return std::nullopt;
    name = *quoted;
  } else {
    return std::nullopt;
  }
  std::string_view rest = Trim(line.substr(pos));
  if (rest.empty() || rest[0] != '=') return std::nullopt;
  rest = Trim(rest.substr(1));
  if (!rest.empty() && rest[0] == '"') {
    std::size_t end = 0;
    auto value = Unquote(rest, end);
    if (!value || !Trim(rest.substr(end)).empty()) return std::nullopt;
    return std::make_pair(name, *value);
  }
  constexpr std::string_view kDword = "dword:";
  if (SameName(rest.substr(0, kDword.size()), kDword)) {
    std::string_view digits = rest.substr(kDword.size());
    if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), IsHex)) {
      return std::nullopt;
    }
    // A 32-bit number reads as its decimal text.
    return std::make_pair(name, std::to_string(std::stoul(std::string(digits), nullptr, 16)));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CanonicalRegistryKey(std::string_view keyPath) {
  while (!keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
  std::size_t slash = keyPath.find('\\');
  std::string_view root = keyPath.substr(0, slash);
  for (const auto& [alias, full] : kRoots) {
    if (SameName(root, alias)) {
      std::string key(full);
      if (slash != std::string_view::npos) key.append(keyPath.substr(slash));
      return key;
    }
  }
  return std::nullopt;
}

RegistryDocument RegistryDocument::Parse(std::string_view text) {
  RegistryDocument doc;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    std::string_view line = Trim(raw);

    if (line.size() >= 2 && line.front() == '[' && line.back() == ']' && line[1] != '-') {
      std::string header(line.substr(1, line.size() - 2));
      std::string compareKey = CompareKey(header);
      // A key that appears twice is one key: later lines join the first section.
      current = compareKey.empty() ? nullptr : doc.FindSection(compareKey);
      if (!current) {
        doc.sections_.push_back({header, compareKey, {}});
        current = &doc.sections_.back();
      }
      continue;
    }
    Line entry;
    entry.raw = std::string(raw);
    if (current && !line.empty() && line[0] != ';') {
      if (auto value = ParseValueLine(line)) {
        entry.isValue = true;
        entry.name = value->first;
        entry.value = value->second;
        // A value given twice: the later one wins, in the place of the first.
        auto same = std::find_if(current->lines.begin(), current->lines.end(), [&](const Line& l) {
          return l.isValue && SameName(l.name, entry.name);
        });
        if (same != current->lines.end()) {
          same->value = entry.value;
          same->raw.clear();
          continue;
        }
      }
    }
    if (current) {
      current->lines.push_back(std::move(entry));
    } else {
      doc.preamble_.push_back(std::move(entry.raw));
    }
  }
  return doc;
}

std::string RegistryDocument::Serialize() const {
  std::string out;
  for (const std::string& line : preamble_) out += line + "\n";
  for (const Section& section : sections_) {
    // A section made by a writer is set off from what precedes it by one blank line; sections
    // read from the file keep their spacing.
    if (section.added && out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") != 0) {
      out += "\n";
    }
    out += "[" + section.header + "]\n";
    for (const Line& line : section.lines) {
      if (!line.raw.empty() || !line.isValue) {
        out += line.raw + "\n";
      } else {
        out += (line.name.empty() ? std::string("@") : Quote(line.name)) + "=" + Quote(line.value) +
               "\n";
      }
    }
  }
  return out;
}

RegistryDocument::Section* RegistryDocument::FindSection(std::string_view key) {
  std::string wanted = Lower(key);
  for (Section& s : sections_) {
    if (!s.compareKey.empty() && s.compareKey == wanted) return &s;
  }
  return nullptr;
}

const RegistryDocument::Section* RegistryDocument::FindSection(std::string_view key) const {
  return const_cast<RegistryDocument*>(this)->FindSection(key);
}

std::optional<std::string> RegistryDocument::Read(std::string_view key,
                                                  std::string_view name) const {
  const Section* section = FindSection(key);
  if (!section) return std::nullopt;
  for (const Line& line : section->lines) {
    if (line.isValue && SameName(line.name, name)) return line.value;
  }
  return std::nullopt;
}

bool RegistryDocument::Write(std::string_view key, std::string_view name, std::string_view value) {
  Section* section = FindSection(key);
  if (!section) {
    sections_.push_back({std::string(key), Lower(key), {}, true});
    section = &sections_.back();
  }
  for (Line& line : section->lines) {
    if (line.isValue && SameName(line.name, name)) {
      if (line.value == value) return false;
      line.value = std::string(value);
      line.raw.clear();
      return true;
    }
  }
  Line line;
  line.isValue = true;
  line.name = std::string(name);
  line.value = std::string(value);
  // New values go after the last value, before trailing blank lines and comments.
  auto last = std::find_if(section->lines.rbegin(), section->lines.rend(),
                           [](const Line& l) { return l.isValue; });
  section->lines.insert(last.base(), std::move(line));
  return true;
}

bool RegistryDocument::DeleteValue(std::string_view key, std::string_view name) {
  Section* section = FindSection(key);
  if (!section) return false;
  auto before = section->lines.size();
  std::erase_if(section->lines,
                [&](const Line& l) { return l.isValue && SameName(l.name, name); });
  return section->lines.size() != before;
}

bool RegistryDocument::DeleteKey(std::string_view key) {
  std::string wanted = Lower(key);
  std::string below = wanted + "\\";
  auto before = sections_.size();
  std::erase_if(sections_, [&](const Section& s) {
    return !s.compareKey.empty() && (s.compareKey == wanted || s.compareKey.rfind(below, 0) == 0);
  });
  return sections_.size() != before;
}

std::vector<std::pair<std::string, std::string>> RegistryDocument::Values(
    std::string_view key) const {
  std::vector<std::pair<std::string, std::string>> values;
  if (const Section* section = FindSection(key)) {
    for (const Line& line : section->lines) {
      if (line.isValue) values.emplace_back(line.name, line.value);
    }
  }
  return values;
}

std::vector<std::string> RegistryDocument::SubKeys(std::string_view key) const {
  std::string below = Lower(key) + "\\";
  std::vector<std::string> names;
  for (const Section& s : sections_) {
    if (s.compareKey.rfind(below, 0) != 0) continue;
    // The header's own spelling of the next component, taken at the same offset.
    auto canonical = CanonicalRegistryKey(s.header);
    std::string rest = canonical->substr(below.size());
    std::string name = rest.substr(0, rest.find('\\'));
    if (name.empty()) continue;
    bool known = std::any_of(names.begin(), names.end(),
                             [&](const std::string& n) { return SameName(n, name); });
    if (!known) names.push_back(name);
  }
  return names;
}

}  // namespace nimbra
