#include "gui/postscript/postscript_header.h"

#include <string_view>

#include "gui/postscript/postscript_string.h"
#include "gui/postscript/stamp.h"
#include "platform/conversions.h"
#include "platform/files.h"
#include "settings/settings_keys.h"

namespace nimbra {

namespace {

std::string LowerTrimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  std::string out(text.substr(first, last - first + 1));
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The information entries in their fixed order; Producer has no setting.
struct InfoEntry {
  std::string_view key;
  std::string_view setting;
};
constexpr InfoEntry kInfoEntries[] = {
    {"/CreationDate ", "creationdate"}, {"/ModDate ", "moddate"}, {"/Creator ", "creator"},
    {"/Producer ", ""},                 {"/Title ", "title"},     {"/Subject ", "subject"},
    {"/Keywords ", "keywords"},         {"/Author ", "author"},
};

// Ghostscript gives up PDF/A output ("cannot be represented in XMP for PDF/A1, reverting to normal
// PDF output") for DOCINFO text with escapes or bytes beyond ASCII. In PDF/A mode such values are
// left out here; the rendering step writes them into the finished PDF and its XMP afterwards.
bool PdfaSafe(std::string_view value) {
  for (const char c : value) {
    if (c < 32 || c > 126) return false;
    if (c == '\\' || c == '(' || c == ')' || c == '[' || c == ']' || c == '{' || c == '}') return false;
  }
  return true;
}

}  // namespace

std::string MakeDocViewMark(const Dictionary& jobSettings) {
  std::string entries;
  std::string thumbs = jobSettings.Item("usethumbs");
  for (char& c : thumbs) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (thumbs == "yes") entries += "  /PageMode /UseThumbs\r\n";
  const std::string zoom = LowerTrimmed(jobSettings.Item("zoom"));
  const double percent = LeadingNumber(zoom);
  if (percent > 0) {
    entries += "  /Page 1 /View [/XYZ null null " + NumberText(percent / 100) + "]\r\n";
  } else if (zoom == "fitall") {
    entries += "  /Page 1 /View [/Fit]\r\n";
  }
  if (entries.empty()) return {};
  return "[ \r\n" + entries + "  /DOCVIEW\r\npdfmark\r\n";
}

std::string MakeDocInfoMark(const Dictionary& jobSettings) {
  const bool pdfa = YesSetting(jobSettings, "pdfa", FlagTrim::kYes);
  std::string mark = "% Document information\r\n[";
  for (const InfoEntry& entry : kInfoEntries) {
    const std::string value =
        entry.setting.empty() ? std::string(kProducerText) : jobSettings.Item(entry.setting);
    if (value.empty() || (pdfa && !PdfaSafe(value))) continue;
    mark += entry.key;
    mark += PdfTextString(value);
    mark += "\r\n";
  }
  mark += "/DOCINFO pdfmark\r\n";
  return mark;
}

std::string MakePostScriptHeader(const Dictionary& jobSettings, bool includeStamp) {
  std::string header;
  if (includeStamp && WatermarkEnabled(jobSettings)) header = MakeStampProgram(jobSettings);
  header += MakePageSetupProgram();
  header += MakeDocViewMark(jobSettings);
  header += MakeDocInfoMark(jobSettings);
  return header;
}

bool WritePostScriptHeader(const std::string& headerFile, const Dictionary& jobSettings,
                           bool includeStamp) {
  try {
    WriteTextFile(headerFile, MakePostScriptHeader(jobSettings, includeStamp));
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace nimbra
