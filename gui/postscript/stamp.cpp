#include "gui/postscript/stamp.h"

#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

#include "gui/postscript/postscript_string.h"
#include "platform/colors.h"
#include "platform/conversions.h"
#include "settings/folders.h"
#include "settings/settings_keys.h"

namespace nimbra {

namespace {

// The standard ISOLatin1Encoding vector of PostScript, in code order.
constexpr std::string_view kIsoLatin1Names[256] = {
    ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef",
    ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef",
    ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef",
    ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef",
    "space", "exclam", "quotedbl", "numbersign", "dollar", "percent", "ampersand", "quoteright",
    "parenleft", "parenright", "asterisk", "plus", "comma", "minus", "period", "slash",
    "zero", "one", "two", "three", "four", "five", "six", "seven",
    "eight", "nine", "colon", "semicolon", "less", "equal", "greater", "question",
    "at", "A", "B", "C", "D", "E", "F", "G",
    "H", "I", "J", "K", "L", "M", "N", "O",
    "P", "Q", "R", "S", "T", "U", "V", "W",
    "X", "Y", "Z", "bracketleft", "backslash", "bracketright", "asciicircum", "underscore",
    "quoteleft", "a", "b", "c", "d", "e", "f", "g",
    "h", "i", "j", "k", "l", "m", "n", "o",
    "p", "q", "r", "s", "t", "u", "v", "w",
    "x", "y", "z", "braceleft", "bar", "braceright", "asciitilde", ".notdef",
    ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef",
    ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef", ".notdef",
    "dotlessi", "grave", "acute", "circumflex", "tilde", "macron", "breve", "dotaccent",
    "dieresis", ".notdef", "ring", "cedilla", ".notdef", "hungarumlaut", "ogonek", "caron",
    "space", "exclamdown", "cent", "sterling", "currency", "yen", "brokenbar", "section",
    "dieresis", "copyright", "ordfeminine", "guillemotleft", "logicalnot", "hyphen", "registered", "macron",
    "degree", "plusminus", "twosuperior", "threesuperior", "acute", "mu", "paragraph", "periodcentered",
    "cedilla", "onesuperior", "ordmasculine", "guillemotright", "onequarter", "onehalf", "threequarters", "questiondown",
    "Agrave", "Aacute", "Acircumflex", "Atilde", "Adieresis", "Aring", "AE", "Ccedilla",
    "Egrave", "Eacute", "Ecircumflex", "Edieresis", "Igrave", "Iacute", "Icircumflex", "Idieresis",
    "Eth", "Ntilde", "Ograve", "Oacute", "Ocircumflex", "Otilde", "Odieresis", "multiply",
    "Oslash", "Ugrave", "Uacute", "Ucircumflex", "Udieresis", "Yacute", "Thorn", "germandbls",
    "agrave", "aacute", "acircumflex", "atilde", "adieresis", "aring", "ae", "ccedilla",
    "egrave", "eacute", "ecircumflex", "edieresis", "igrave", "iacute", "icircumflex", "idieresis",
    "eth", "ntilde", "ograve", "oacute", "ocircumflex", "otilde", "odieresis", "divide",
    "oslash", "ugrave", "uacute", "ucircumflex", "udieresis", "yacute", "thorn", "ydieresis",
};

// Characters beyond Latin-1 that the stamp can still show: each takes a code that is unused
// (.notdef) in ISOLatin1Encoding, and the program's encoding vector names its glyph there.
struct ExtraGlyph {
  char32_t code;
  unsigned char byte;
  std::string_view glyph;
};
constexpr ExtraGlyph kExtraGlyphs[] = {
    {U'\u20AC', 128, "Euro"},          {U'\u201A', 129, "quotesinglbase"},
    {U'\u0192', 130, "florin"},        {U'\u201E', 131, "quotedblbase"},
    {U'\u2026', 132, "ellipsis"},      {U'\u2020', 133, "dagger"},
    {U'\u2021', 134, "daggerdbl"},     {U'\u2030', 135, "perthousand"},
    {U'\u0160', 136, "Scaron"},        {U'\u2039', 137, "guilsinglleft"},
    {U'\u0152', 138, "OE"},            {U'\u017D', 139, "Zcaron"},
    {U'\u201C', 140, "quotedblleft"},  {U'\u201D', 141, "quotedblright"},
    {U'\u2022', 142, "bullet"},        {U'\u2013', 143, "endash"},
    {U'\u2014', 1, "emdash"},          {U'\u2122', 2, "trademark"},
    {U'\u0161', 3, "scaron"},          {U'\u203A', 4, "guilsinglright"},
    {U'\u0153', 5, "oe"},              {U'\u017E', 6, "zcaron"},
    {U'\u0178', 7, "Ydieresis"},       {U'\u2018', 96, "quoteleft"},
    {U'\u2019', 39, "quoteright"},
};

// Defaults of the stamp settings (the settings store fills them in; a value emptied later by a
// macro or a dialog reads as its default here).
constexpr std::string_view kDefaultFontName = "arial.ttf";
constexpr double kDefaultFontSize = 45;
constexpr std::string_view kDefaultColor = "#D9D9D9";
constexpr double kDefaultOutlineWidth = 2;
constexpr std::string_view kDefaultRotation = "c2c";
constexpr std::string_view kDefaultPosition = "center";

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string SettingOr(const Dictionary& settings, std::string_view key, std::string_view fallback) {
  std::string value = settings.Item(key);
  return value.empty() ? std::string(fallback) : value;
}

// The leading number of a setting; values the setting does not allow (per `valid`) and empty
// values give the default.
template <typename Valid>
double NumberOr(const Dictionary& settings, std::string_view key, double fallback, Valid valid) {
  const std::string text = settings.Item(key);
  if (text.empty()) return fallback;
  const double number = LeadingNumber(text);
  return valid(number) ? number : fallback;
}

// The text is exactly how its own whole-number value would be written back.
bool IsPlainWholeNumber(std::string_view text) {
  std::size_t i = text.starts_with('-') ? 1 : 0;
  if (i >= text.size() || text.size() - i > 9) return false;
  if (text[i] == '0' && text.size() - i > 1) return false;
  if (text == "-0") return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

std::string HorizontalPositionName(const Dictionary& settings) {
  const std::string position = Lower(SettingOr(settings, "watermarkhorizontalposition", kDefaultPosition));
  if (position == "left") return "left_position";
  if (position == "right") return "right_position";
  return "center_horizontal_position";
}

std::string VerticalPositionName(const Dictionary& settings) {
  const std::string position = Lower(SettingOr(settings, "watermarkverticalposition", kDefaultPosition));
  if (position == "top") return "top_position";
  if (position == "bottom") return "bottom_position";
  return "center_vertical_position";
}

std::string EncodingVectorLines() {
  std::string_view names[256];
  for (int i = 0; i < 256; ++i) names[i] = kIsoLatin1Names[i];
  for (const ExtraGlyph& extra : kExtraGlyphs) names[extra.byte] = extra.glyph;
  std::string out;
  for (int i = 0; i < 256; ++i) {
    out += '/';
    out += names[i];
    if (i % 8 == 7) out += "\r\n";
  }
  return out;
}

}  // namespace

int WatermarkFontSize(const Dictionary& jobSettings) {
  const std::string text = Trim(jobSettings.Item("watermarkfontsize"));
  long size = static_cast<long>(kDefaultFontSize);
  if (IsPlainWholeNumber(text)) size = std::stol(text);
  if (size < 0) size = 0;
  if (size > 1000) size = 1000;
  return static_cast<int>(size);
}

bool WatermarkEnabled(const Dictionary& jobSettings) {
  return !jobSettings.Item("watermarktext").empty() && WatermarkFontSize(jobSettings) > 0;
}

std::string WatermarkRotation(const Dictionary& jobSettings) {
  std::string rotation = Trim(jobSettings.Item("watermarkrotation"));
  if (rotation.empty()) rotation = kDefaultRotation;
  const std::string lower = Lower(rotation);
  if (lower == "c2c") return "corner2corner";
  if (lower == "-c2c") return "corner2corner -1 mul";
  // Rounded half to even (the default rounding mode), then the remainder with the sign of the
  // dividend; beyond any sensible angle the value is reduced first so the conversion stays exact.
  const double rounded = std::nearbyint(std::fmod(LeadingNumber(rotation), 1e15));
  const auto whole = static_cast<std::int64_t>(rounded);
  return std::to_string(whole % 360);
}

std::string StampTextBytes(std::string_view utf8Text) {
  std::string out;
  for (const char32_t code : DecodeUtf8(utf8Text)) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      out += static_cast<char>(code);
    } else {
      char replacement = '?';
      for (const ExtraGlyph& extra : kExtraGlyphs) {
        if (extra.code == code) replacement = static_cast<char>(extra.byte);
      }
      out += replacement;
    }
  }
  return out;
}

std::string MakeStampProgram(const Dictionary& s) {
  const std::string stampText = PostScriptString(StampTextBytes(s.Item("watermarktext")));
  // A font that cannot be found is named as the fonts folder would hold it: Ghostscript then
  // substitutes a font of its own instead of failing the job.
  std::string fontPath = ResolveStampFontFile(s.Item("watermarkfontname"));
  if (fontPath.empty()) fontPath = FontsFolder() + "/" + SettingOr(s, "watermarkfontname", kDefaultFontName);
  const std::string fontFile = PostScriptString(fontPath);
  const double size = NumberOr(s, "watermarkfontsize", kDefaultFontSize, [](double v) { return v > 0; });
  const double outline =
      NumberOr(s, "watermarkoutlinewidth", kDefaultOutlineWidth, [](double v) { return v >= 0; });
  const double horizontal =
      NumberOr(s, "watermarkhorizontaladjustment", 0, [](double v) { return v >= 0; });
  const double vertical =
      NumberOr(s, "watermarkverticaladjustment", 0, [](double v) { return v >= 0; });
  const RgbColor color = ParseColor(SettingOr(s, "watermarkcolor", kDefaultColor));
  const std::string colorText = NumberText(color.red / 255.0) + " " + NumberText(color.green / 255.0) +
                                " " + NumberText(color.blue / 255.0);
  const std::string paint = outline > 0 ? "true charpath stroke" : "show";
  const bool topLayer = WatermarkLayer(s) != "bottom";

  std::string p;
  auto line = [&p](std::string_view text) {
    p += text;
    p += "\r\n";
  };
  line("%!PS");
  line("%");
  line("% Options");
  line("%");
  line("/stampstring " + stampText + " def");
  line("/fontname " + fontFile + " def");
  line("/fontsize " + NumberText(size) + " def");
  line("/fontcolor {" + colorText + "} def");
  line("/fontlinewidth " + NumberText(outline) + " def");
  line("/relative_horizontal_margin " + NumberText(horizontal) + " def");
  line("/relative_vertical_margin " + NumberText(vertical) + " def");
  line("");
  line("/ISOLatin1Encoding [");
  p += EncodingVectorLines();
  line("] def");
  for (const std::string_view text : {
           "/ISOEncode {",
           "dup length dict begin",
           "{1 index /FID ne {def} {pop pop} ifelse} forall",
           "/Encoding ISOLatin1Encoding def",
           "currentdict",
           "end",
           "/Temporary exch definefont",
           "} bind def",
           " /stamp {",
           "gsave",
           " initgraphics",
           " clippath ",
           " pathbbox",
           "   /ury exch def ",
           "   /urx exch def",
           "   /lly exch def ",
           "   /llx exch def",
           " /h ury lly sub def",
           " /w urx llx sub def",
           " /len h dup mul w dup mul add sqrt def",
           " newpath",
           " fontname findfont fontsize scalefont ISOEncode setfont",
           " fontlinewidth setlinewidth",
           " fontcolor setrgbcolor ",
           "",
           "/corner2corner h w atan def",
       }) {
    line(text);
  }
  line("/stampangle " + WatermarkRotation(s) + " def");
  for (const std::string_view text : {
           "/stampwidth stampstring stringwidth pop def",
           "",
           "% Trigonometry",
           "/boxwidth stampstring stringwidth pop def",
           "/boxheight fontsize 0.7327 mul def",
           "",
           "%",
           "% Calculate how much to displace the stamp to place it in the lower left corner",
           "%",
           "/width_gone_x % how much of the width has gone",
           "  stampangle cos boxwidth mul -1 mul",
           "def",
           "/height_gone_x % how much of the height has gone",
           "  stampangle 90 add cos boxheight mul -1 mul",
           "def",
           "/width_gone_y % how much of the width has gone",
           "  stampangle sin boxwidth mul -1 mul",
           "def",
           "/height_gone_y % how much of the height has gone",
           "  stampangle 90 add sin boxheight mul -1 mul",
           "def",
           "/deltax ",
           "  width_gone_x 0 ge {width_gone_x} {0} ifelse",
           "  height_gone_x 0 ge {height_gone_x} {0} ifelse",
           "  add",
           "def",
           "/deltay",
           "  width_gone_y 0 ge {width_gone_y} {0} ifelse",
           "  height_gone_y 0 ge {height_gone_y} {0} ifelse",
           "  add",
           "def",
           "",
           "% ",
           "% Calculate the size of the rectangle containing the stamp",
           "%",
           "/superrectangle_width",
           "  stampangle cos boxwidth mul abs",
           "  stampangle 90 add cos boxheight mul abs",
           "  add",
           "def",
           "/superrectangle_height",
           "  stampangle sin boxwidth mul abs",
           "  stampangle 90 add sin boxheight mul abs",
           "  add",
           "def",
           "",
           "%",
           "% Calculate margins",
           "%",
           "/horizontal_margin w 100 div relative_horizontal_margin mul def",
           "/vertical_margin h 100 div relative_vertical_margin mul def",
           "",
           "%",
           "% Calculate positions",
           "%",
           "",
           "% Calculate top position",
           "/top_position h superrectangle_height sub deltay add vertical_margin sub def",
           "",
           "% Calculate right position",
           "/right_position w superrectangle_width sub deltax add horizontal_margin sub def",
           "",
           "% Calculate bottom position",
           "/bottom_position deltay vertical_margin add def",
           "",
           "% Calculate left posotion",
           "/left_position deltax horizontal_margin add def",
           "",
           "% Calculate center horizontal position",
           "/center_horizontal_position w superrectangle_width sub 2 div deltax add horizontal_margin add def",
           "",
           "% Calculate center vertical position",
           "/center_vertical_position h superrectangle_height sub 2 div deltay add vertical_margin sub def",
           "",
           "%center_horizontal_position center_vertical_position ",
       }) {
    line(text);
  }
  line(HorizontalPositionName(s) + " " + VerticalPositionName(s));
  line("moveto");
  line("stampangle rotate");
  line("stampstring");
  line(" ");
  line(paint);
  line("grestore");
  line("} bind def");
  line("10 dict begin");
  if (topLayer) {
    line("<< /EndPage [ /stamp load /exec load currentpagedevice /EndPage get /exec load ] cvx >> "
         "setpagedevice");
  }
  line("end");
  return p;
}

}  // namespace nimbra
