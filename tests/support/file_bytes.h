#pragma once
// Whole files read and written with the standard library, so that a check never goes through
// the code under test. Both throw std::runtime_error naming the path when they fail.
#include <string>
#include <string_view>

namespace nimbra::test_support {

std::string ReadFileBytes(const std::string& path);
// Replaces the whole content with exactly these bytes.
void WriteFileBytes(const std::string& path, const std::string& bytes);

// UTF-16LE bytes of a UTF-16 text, as the language file and the status file hold them.
std::string Utf16LeBytes(std::u16string_view text);

}  // namespace nimbra::test_support
