#include "gui/postscript/superimpose.h"

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/error.h"
#include "platform/files.h"
#include "settings/settings_keys.h"

namespace nimbra {

namespace {

constexpr long kOverflow = 6;
constexpr std::int32_t kMaxNumber = 32767;  // place numbers and page counts are 16-bit values

// Where the embedded EPS ends in the patched document. It follows the EPS's own end, so it
// cannot cut the EPS short, and no PostScript program writes it.
constexpr std::string_view kEndOfDrawing = "%%EndNimbraBackground";

std::string Fill(std::string_view pattern, long number) {
  std::string out;
  for (const char c : pattern) {
    if (c == '#') {
      out += std::to_string(number);
    } else {
      out += c;
    }
  }
  return out;
}

std::string Quoted(std::string_view argument) { return "\"" + std::string(argument) + "\""; }

// The number and the leading word stay those of an overflow; the rest tells the user which
// setting to mend. A place can be as long as the setting, so the message quotes its start only.
[[noreturn]] void PlaceOverflow(std::string_view place) {
  constexpr std::size_t kQuoted = 40;
  std::string quoted(place.substr(0, kQuoted));
  if (place.size() > kQuoted) quoted += "...";
  throw Error(kOverflow,
              "Overflow: the background place '" + quoted + "' holds a number above 32767.",
              "MakeSuperimposePageMap");
}

[[noreturn]] void PageCountOverflow() {
  throw Error(kOverflow, "Overflow: backgrounds are laid under at most 32767 pages.",
              "MakeSuperimposePageMap");
}

// One place as it is written: flags, start, "-", end.
struct Place {
  bool fromLast = false;
  bool odd = false;
  bool even = false;
  std::int32_t start = 0;
  bool range = false;
  std::int32_t end = 0;
};

std::int32_t ReadNumber(std::string_view text, std::size_t& i) {
  std::int32_t number = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    number = number * 10 + (text[i] - '0');
    if (number > kMaxNumber) PlaceOverflow(text);
    ++i;
  }
  return number;
}

Place ParsePlace(std::string_view text) {
  Place place;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == 'F' || c == 'f') continue;
    if (c == 'L' || c == 'l') {
      place.fromLast = true;
    } else if (c == 'O' || c == 'o') {
      place.odd = true;
    } else if (c == 'E' || c == 'e') {
      place.even = true;
    } else {
      break;
    }
  }
  place.start = ReadNumber(text, i);
  if (i < text.size() && text[i] == '-') {
    ++i;
    place.range = true;
    place.end = ReadNumber(text, i);
  }
  return place;
}

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != ' ') out += c;
  }
  return out;
}

}  // namespace

bool SuperimposeEnabled(const Dictionary& jobSettings) { return HasSuperimpose(jobSettings); }

DictionaryPtr ParsePlaceList(std::string_view placeList) {
  DictionaryPtr list = Dictionary::New();
  long index = 0;
  std::size_t begin = 0;
  while (begin <= placeList.size()) {
    std::size_t close = placeList.find('>', begin);
    if (close == std::string_view::npos) close = placeList.size();
    const std::string_view item = placeList.substr(begin, close - begin);
    begin = close + 1;
    if (item.empty()) continue;
    std::string_view fileName = item;
    std::string_view place;
    if (const auto open = item.find('<'); open != std::string_view::npos) {
      fileName = item.substr(0, open);
      place = item.substr(open + 1);
      if (const auto second = place.find('<'); second != std::string_view::npos) {
        place = place.substr(0, second);
      }
    }
    DictionaryPtr entry = Dictionary::New();
    entry->Set("filename", std::string(fileName));
    entry->Set("place", std::string(place));
    list->Set(std::to_string(index++), entry);
  }
  return list;
}

void WriteSuperimposeParameters(const std::string& parameterFile,
                                const std::string& backgroundFile, const std::string& fullEpsFile,
                                const std::string& captureFile) {
  // eps2write, the successor of epswrite, makes one EPS only when just the first page is asked
  // for. Every line ends with LF: Ghostscript reads a last argument without one as unterminated.
  std::string lines;
  for (const std::string& line : {
           std::string("-q"),
           std::string("-dSAFER"),
           std::string("-dNOPAUSE"),
           std::string("-dBATCH"),
           Quoted("-sstdout#" + captureFile),
           std::string("-sDEVICE#eps2write"),
           std::string("-r14400"),
           std::string("-dFirstPage#1"),
           std::string("-dLastPage#1"),
           Quoted("-sOutputFile#" + fullEpsFile),
           Quoted(backgroundFile),
       }) {
    if (line.find_first_of("\r\n") != std::string::npos) {
      throw Error(err::kGeneral, "A file name of the background pass holds a line break: " + line,
                  "WriteSuperimposeParameters");
    }
    lines += line;
    lines += '\n';
  }
  WriteTextFile(parameterFile, lines);
}

void CutAtShowpage(const std::string& fullEpsFile, const std::string& epsFile) {
  std::string eps = ReadFile(fullEpsFile);
  // An EPS of a Ghostscript of old ends its drawing with its only "showpage"; eps2write's prolog
  // names showpage inside procedures, so cutting there would break the drawing. The whole EPS is
  // kept and read into a reusable stream, which the page set-up runs with showpage disabled.
  if (!eps.ends_with('\n')) eps += "\r\n";
  std::string text =
      "% Background drawing: an EPS kept as a reusable stream for the page set-up\r\n"
      "currentfile 0 (" + std::string(kEndOfDrawing) + ") /SubFileDecode filter "
      "/ReusableStreamDecode filter\n";
  text += eps;
  text += kEndOfDrawing;
  text += "\r\n";
  WriteBytes(epsFile, text);
}

void MakeSuperimposeFiles(const Dictionary& jobSettings, const std::string& epsPattern,
                          const std::string& fullEpsPattern, const std::string& parameterPattern,
                          const std::string& capturePattern, const SuperimposeRunner& runner) {
  const DictionaryPtr backgrounds = ParsePlaceList(jobSettings.Item("superimpose"));
  long number = 0;
  for (const auto& entry : *backgrounds) {
    ++number;
    const std::string fileName = entry.value.Dict()->Item("filename");
    const std::string captureFile = Fill(capturePattern, number);
    if (runner.captureFileChanged) runner.captureFileChanged(captureFile);
    const std::string backgroundFile = ResolvePath(fileName);
    if (!FileExists(backgroundFile)) {
      throw Error(err::kBackgroundMissing, "Background PDF '" + fileName + "' does not exist.",
                  "MakeSuperimposeFiles");
    }
    const std::string parameterFile = Fill(parameterPattern, number);
    const std::string fullEpsFile = Fill(fullEpsPattern, number);
    WriteSuperimposeParameters(parameterFile, backgroundFile, fullEpsFile, captureFile);
    try {
      runner.runGhostscript(parameterFile, captureFile);
    } catch (Error& e) {
      throw e.PassedOn("MakeSuperimposeFiles");
    }
    if (!runner.keepCaptureFiles) std::remove(captureFile.c_str());
    CutAtShowpage(fullEpsFile, Fill(epsPattern, number));
  }
}

DictionaryPtr MakeSuperimposePageMap(const Dictionary& jobSettings, const std::string& epsPattern,
                                     std::int64_t pageCount) {
  if (pageCount > kMaxNumber) PageCountOverflow();
  const auto pages = static_cast<std::int32_t>(pageCount < 0 ? 0 : pageCount);
  DictionaryPtr map = Dictionary::New();
  for (std::int32_t page = 1; page <= pages; ++page) map->Set(std::to_string(page), "");

  const DictionaryPtr backgrounds = ParsePlaceList(jobSettings.Item("superimpose"));
  long number = 0;
  for (const auto& entry : *backgrounds) {
    ++number;
    const std::string text = WithoutBlanks(entry.value.Dict()->Item("place"));
    Place place;
    std::int32_t start = 1;
    std::int32_t end = pages;
    if (!text.empty()) {
      place = ParsePlace(text);
      start = place.start;
      if (place.range) {
        end = place.end == 0 ? pages : place.end;
      } else {
        end = start > 0 ? start : pages;
      }
      if (start == 0) start = 1;
    }
    const std::string eps = Fill(epsPattern, number);
    for (std::int32_t j = start; j <= end; ++j) {
      if (place.odd && !place.even && j % 2 == 0) continue;
      if (place.even && !place.odd && j % 2 != 0) continue;
      const std::int32_t page = place.fromLast ? pages + 1 - j : j;
      map->Set(std::to_string(page), eps);
    }
  }
  return map;
}

}  // namespace nimbra
