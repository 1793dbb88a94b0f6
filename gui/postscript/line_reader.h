#pragma once
// Reads a file as lines without holding more than one line: a line ends at LF, CR LF or a lone
// CR, and its end is handed back as read, so a copier can write every byte it does not change.
#include <cstdio>
#include <string>

namespace nimbra {

class LineReader {
 public:
  // Opens the file; raises the file error (53 missing, 75 access).
  explicit LineReader(const std::string& path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its end, and the end itself ("\n", "\r\n", "\r", or "" for a last
  // line without one). False when the file is exhausted.
  bool Next(std::string& line, std::string& ending);

 private:
  int Get();
  int Peek();

  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace nimbra
