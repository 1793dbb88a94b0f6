#pragma once
// File helpers of the platform tests: bytes read and written with the standard library, so a
// check never goes through the code under test. Scratch folders and environment guards come
// from tests/support.
#include <string>

namespace nimbra::test {

// Bytes of a file as read with the standard library (independent of the code under test).
std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& bytes);

}  // namespace nimbra::test
