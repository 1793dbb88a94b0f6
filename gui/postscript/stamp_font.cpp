#include <fontconfig/fontconfig.h>

#include <cctype>
#include <memory>
#include <string>
#include <string_view>

#include "gui/postscript/stamp.h"
#include "platform/files.h"
#include "settings/folders.h"

namespace nimbra {

namespace {

constexpr std::string_view kDefaultFontFile = "arial.ttf";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Font files of Windows by their usual names, so that a setting written for Windows finds the
// family (and style) that fontconfig maps to a metric-compatible font.
struct KnownFontFile {
  std::string_view stem;
  std::string_view family;
  std::string_view style;
};
constexpr KnownFontFile kKnownFontFiles[] = {
    {"arial", "Arial", ""},               {"arialbd", "Arial", "Bold"},
    {"ariali", "Arial", "Italic"},        {"arialbi", "Arial", "Bold Italic"},
    {"times", "Times New Roman", ""},     {"timesbd", "Times New Roman", "Bold"},
    {"timesi", "Times New Roman", "Italic"}, {"timesbi", "Times New Roman", "Bold Italic"},
    {"cour", "Courier New", ""},          {"courbd", "Courier New", "Bold"},
    {"couri", "Courier New", "Italic"},   {"courbi", "Courier New", "Bold Italic"},
    {"verdana", "Verdana", ""},           {"verdanab", "Verdana", "Bold"},
    {"tahoma", "Tahoma", ""},             {"georgia", "Georgia", ""},
    {"calibri", "Calibri", ""},           {"cambria", "Cambria", ""},
    {"comic", "Comic Sans MS", ""},       {"impact", "Impact", ""},
    {"trebuc", "Trebuchet MS", ""},       {"segoeui", "Segoe UI", ""},
};

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct ObjectSetDeleter {
  void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};

std::string FileOf(FcPattern* font) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) return {};
  return reinterpret_cast<const char*>(file);
}

// A font file of fontconfig whose file name equals `fileName` ignoring case.
std::string FindFontFile(std::string_view fileName) {
  std::unique_ptr<FcPattern, PatternDeleter> pattern(FcPatternCreate());
  std::unique_ptr<FcObjectSet, ObjectSetDeleter> objects(FcObjectSetBuild(FC_FILE, nullptr));
  std::unique_ptr<FcFontSet, FontSetDeleter> fonts(FcFontList(nullptr, pattern.get(), objects.get()));
  if (!fonts) return {};
  const std::string wanted = Lower(fileName);
  for (int i = 0; i < fonts->nfont; ++i) {
    const std::string file = FileOf(fonts->fonts[i]);
    if (Lower(FileNameOf(file)) == wanted) return file;
  }
  return {};
}

// fontconfig's best match for the family the file name suggests.
std::string MatchFamily(std::string_view fileName) {
  std::string stem = Lower(fileName);
  if (const auto dot = stem.rfind('.'); dot != std::string::npos && dot > 0) stem.resize(dot);
  std::string family = stem;
  std::string style;
  for (const KnownFontFile& known : kKnownFontFiles) {
    if (known.stem == stem) {
      family = known.family;
      style = known.style;
    }
  }
  std::unique_ptr<FcPattern, PatternDeleter> pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (!style.empty()) {
    FcPatternAddString(pattern.get(), FC_STYLE, reinterpret_cast<const FcChar8*>(style.c_str()));
  }
  // Ghostscript reads TrueType and Type 1 outlines; bitmap fonts cannot be scaled.
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  std::unique_ptr<FcPattern, PatternDeleter> match(FcFontMatch(nullptr, pattern.get(), &result));
  if (!match || result != FcResultMatch) return {};
  return FileOf(match.get());
}

}  // namespace

std::string ResolveStampFontFile(std::string_view fontFileName) {
  std::string name(fontFileName.empty() ? kDefaultFontFile : fontFileName);
  // A path to an existing file is the font the user chose.
  if (name.starts_with('/') && FileExists(name)) return name;
  if (!FcInit()) return {};
  const std::string fileName = FileNameOf(name);
  if (std::string file = FindFontFile(fileName); !file.empty()) return file;
  return MatchFamily(fileName);
}

}  // namespace nimbra
