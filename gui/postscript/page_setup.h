#pragma once
// The protocol between the patched document and the header's page set-up. After a "%%Page:"
// comment the patched file pushes the page's background (a reusable file that holds the
// embedded EPS, or null) and whether the stamp goes under the page, then calls the set-up's
// drawing entry, which draws them at once and again after any page-device change that erases
// the page before its content starts.
#include <string>

namespace nimbra {

// The line that follows the background: "<true|false> userdict /NimbraDrawPage get exec".
std::string PageDrawingCall(bool stampUnderPage);
// What stands for "no background" before PageDrawingCall.
inline constexpr char kNoBackground[] = "null";

}  // namespace nimbra
