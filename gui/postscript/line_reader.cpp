#include "gui/postscript/line_reader.h"

#include <cerrno>

#include "platform/error.h"

namespace nimbra {

LineReader::LineReader(const std::string& path) : path_(path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) throw SystemError(errno, path);
}

LineReader::~LineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

int LineReader::Get() { return std::getc(file_); }

int LineReader::Peek() {
  const int c = std::getc(file_);
  if (c != EOF) std::ungetc(c, file_);
  return c;
}

bool LineReader::Next(std::string& line, std::string& ending) {
  line.clear();
  ending.clear();
  int c = Get();
  if (c == EOF) {
    if (std::ferror(file_)) throw SystemError(errno, path_);
    return false;
  }
  for (; c != EOF; c = Get()) {
    if (c == '\n') {
      ending = "\n";
      return true;
    }
    if (c == '\r') {
      if (Peek() == '\n') {
        Get();
        ending = "\r\n";
      } else {
        ending = "\r";
      }
      return true;
    }
    line += static_cast<char>(c);
  }
  if (std::ferror(file_)) throw SystemError(errno, path_);
  return true;
}

}  // namespace nimbra
