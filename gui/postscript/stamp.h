#pragma once
// The watermark: a line of text painted on every page by a PostScript procedure `stamp` that the
// header defines. Top layer: the page device's EndPage runs it after the page's content. Bottom
// layer: the patched file names it after every "%%Page:" comment and the header's BeginPage
// procedure draws it before the page's content. (WatermarkLayer is in settings/settings_keys.h.)
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// `watermarktext` is not empty and WatermarkFontSize is greater than 0.
bool WatermarkEnabled(const Dictionary& jobSettings);

// `watermarkfontsize` trimmed when it is exactly the plain form of a whole number ("45"; not
// "045", "+45", "12.5", "abc"), else 45; clamped to 0..1000. Decides only on/off.
int WatermarkFontSize(const Dictionary& jobSettings);

// The angle expression after "/stampangle ": "corner2corner" for c2c, "corner2corner -1 mul" for
// -c2c (any case), otherwise the leading number rounded half to even, modulo 360 with the sign of
// the dividend ("405" -> "45", "-90" -> "-90", "abc" -> "0"). Empty means "c2c".
std::string WatermarkRotation(const Dictionary& jobSettings);

// The font file the stamp uses for `watermarkfontname` (empty: "arial.ttf"): a font file of that
// name among fontconfig's files (case-insensitive), else the file of fontconfig's best match for
// the family the name suggests ("arial.ttf" -> a metric-compatible sans), else "" when
// fontconfig knows no font at all.
std::string ResolveStampFontFile(std::string_view fontFileName);

// The stamp text in the single-byte encoding of the stamp's font (ISO Latin-1; a few
// typographic characters beyond it, such as "–" and "€", take unused codes of the encoding
// vector; anything else becomes "?").
std::string StampTextBytes(std::string_view utf8Text);

// The stamp program (every line ends with CR LF). Defines `stamp`; for the top layer it also
// installs it into the page device's EndPage, chained before the EndPage already installed.
std::string MakeStampProgram(const Dictionary& jobSettings);

}  // namespace nimbra
