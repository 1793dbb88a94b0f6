#pragma once
// Page-numbered output names: "<pageno>", "<pageno,width>" and "<pageno,width,fill>" (any letter
// case) in an output name are replaced by the page number, padded on the left to the width.
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbra {

// Replaces up to 100 "<pageno...>" macros by `pageNumber`: width = leading number of the
// second part (its first four characters at most), fill = first character of the third part
// (a blank when that part is empty, "0" when there is none). A number longer than the width is
// not cut. Failure (a width beyond 32 bits): error 1013 "Error in page no substitution '<name>'
// page no <n>. Error <number>: <description>".
std::string SubstitutePageNumber(std::string_view name, std::int32_t pageNumber);

}  // namespace nimbra
