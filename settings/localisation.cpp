#include "settings/localisation.h"

#include <mutex>

#include "platform/dictionary.h"
#include "platform/files.h"
#include "platform/text_encoding.h"

namespace nimbra {
namespace {

constexpr std::string_view kWindowsLanguageLabel = "[WindowsLanguage]";
constexpr int kCharsetJapanese = 128;
constexpr int kCharsetKorean = 130;

struct LanguageState {
  std::mutex mutex;
  DictionaryPtr labels = Dictionary::New();
  std::string applicationFolder;  // empty: ProgramFolder()
  int dialogCharset = 0;
};

LanguageState& State() {
  static LanguageState state;
  return state;
}

std::string LookUp(const std::string& id) {
  LanguageState& state = State();
  std::lock_guard lock(state.mutex);
  return state.labels->Item(id);
}

std::string ApplicationFolder() {
  LanguageState& state = State();
  std::lock_guard lock(state.mutex);
  return state.applicationFolder.empty() ? ProgramFolder() : state.applicationFolder;
}

}  // namespace

std::string UnescapeLabel(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) break;  // a backslash at the very end is dropped
    char next = text[i];
    if (next == 'n' || next == 't') {
      out += "\r\n";  // the language files use "\t" for a line break too
    } else {
      out += next;  // "\\" gives "\", any other escaped character stands for itself
    }
  }
  return out;
}

namespace {

// Reads the labels from `languageFolder`; later debug checks look in `markerFolder` (empty:
// ProgramFolder() at the time of each check).
void LoadLanguageInto(const std::string& languageFolder, const std::string& markerFolder) {
  auto labels = Dictionary::New();
  {
    LanguageState& state = State();
    std::lock_guard lock(state.mutex);
    state.labels = labels;  // an empty table at once, so later lookups work whatever happens
    state.applicationFolder = markerFolder;
    state.dialogCharset = 0;
  }
  const std::string path = languageFolder + "/" + std::string(kLanguageFileName);
  if (IsFileNotFolder(path)) {
    const std::string text = Utf16LeToUtf8(ReadFile(path));
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::string_view line(text.data() + start, end - start);
      start = end + 2;
      std::size_t equals = line.find('=');
      if (equals == std::string_view::npos) continue;
      labels->Set(UnescapeLabel(line.substr(0, equals)), UnescapeLabel(line.substr(equals + 1)));
    }
  }
  const std::string language = Localize(kWindowsLanguageLabel);
  int charset = language == "JPN" ? kCharsetJapanese : language == "KOR" ? kCharsetKorean : 0;
  LanguageState& state = State();
  std::lock_guard lock(state.mutex);
  state.dialogCharset = charset;
}

}  // namespace

void LoadLanguageFrom(const std::string& applicationFolder) {
  LoadLanguageInto(applicationFolder, applicationFolder);
}

void LoadLanguage() { LoadLanguageInto(ProgramFolder(), {}); }

std::string Localize(std::string_view text) {
  if (text.empty() || text.front() != '[') return std::string(text);
  std::size_t close = text.find(']', 1);
  if (close == std::string_view::npos) return std::string(text);
  std::string translation = LookUp(std::string(text.substr(1, close - 1)));
  if (!translation.empty()) return translation;
  if (IsDebugMode()) return std::string(text);
  return std::string(text.substr(close + 1));
}

int DialogCharset() {
  LanguageState& state = State();
  std::lock_guard lock(state.mutex);
  return state.dialogCharset;
}

bool IsDebugMode() {
  return IsFileNotFolder(ApplicationFolder() + "/" + std::string(kDebugMarkerFileName));
}

}  // namespace nimbra
