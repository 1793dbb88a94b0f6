#include "tests/postscript/postscript_support.h"

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "settings/folders.h"
#include "settings/log.h"

namespace nimbra::test {

namespace {

// Everything a shell command writes to standard output ("" when it cannot be started).
std::string CommandOutput(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string out;
  char buffer[65536];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}
// The temporary folder of the test process, before any TempFolder pointed TMPDIR at itself.
const std::string& BaseTempFolder() {
  static const std::string base = std::filesystem::temp_directory_path().string();
  return base;
}
}  // namespace

TempFolder::TempFolder() {
  std::string pattern = BaseTempFolder() + "/nimbra-ps-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  // The run's log goes into this folder.
  setenv("TMPDIR", path_.c_str(), 1);
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
  SetLogSessionId("test");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  ResetLogStateForTesting();
}

std::string Fixture(const std::string& name) { return std::string(NIMBRA_TEST_DATA) + "/" + name; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const auto end = text.find("\r\n", begin);
    if (end == std::string::npos) {
      lines.push_back(text.substr(begin));
      break;
    }
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 2;
  }
  return lines;
}

DictionaryPtr MakeSettings(std::initializer_list<std::pair<const char*, const char*>> values) {
  DictionaryPtr settings = Dictionary::New();
  for (const auto& [key, value] : values) settings->Set(key, value);
  return settings;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

int Shell(const std::string& command, const std::string& capture) {
  std::string line = command;
  if (!capture.empty()) line += " >" + Quote(capture) + " 2>&1";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunPdfwrite(const std::vector<std::string>& inputs, const std::string& pdf,
                const std::string& capture) {
  std::string command = "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=" + Quote(pdf);
  for (const std::string& input : inputs) command += " " + Quote(input);
  return Shell(command, capture);
}

void MakeMultiPageDocument(int pages, const std::string& path) {
  const std::string source = path + ".src.ps";
  WriteAll(source,
           "%!PS\n<< /PageSize [612 792] >> setpagedevice\n"
           "/Helvetica findfont 24 scalefont setfont\n"
           "1 1 " + std::to_string(pages) +
               " { /n exch def 0 setgray 72 720 moveto (Page ) show n 8 string cvs show showpage } for\n");
  const int status = Shell("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=ps2write -sOutputFile=" +
                           Quote(path) + " " + Quote(source));
  if (status != 0) throw std::runtime_error("ps2write failed");
}

void MakeRectanglePdf(const std::string& path, double r, double g, double b, double x, double y,
                      double w, double h) {
  const std::string source = path + ".src.ps";
  std::ostringstream ps;
  ps << "%!PS\n<< /PageSize [612 792] >> setpagedevice\n"
     << r << " " << g << " " << b << " setrgbcolor " << x << " " << y << " " << w << " " << h
     << " rectfill showpage\n";
  WriteAll(source, ps.str());
  if (RunPdfwrite({source}, path, path + ".out") != 0) throw std::runtime_error("pdfwrite failed");
}

std::vector<int> PageMarkers(const std::string& captureFile) {
  const std::string text = ReadAll(captureFile);
  static const std::regex marker(R"(%%\[Page: (\d+)\]%%)");
  std::vector<int> pages;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), marker); it != std::sregex_iterator();
       ++it) {
    pages.push_back(std::stoi((*it)[1].str()));
  }
  return pages;
}

PageImage::PageImage(const std::string& pdf, int page, int dpi) : dpi_(dpi) {
  const std::string command = "pdftoppm -f " + std::to_string(page) + " -l " + std::to_string(page) +
                              " -r " + std::to_string(dpi) + " " + Quote(pdf) + " 2>/dev/null";
  const std::string data = CommandOutput(command);
  if (data.empty()) throw std::runtime_error("pdftoppm failed");
  // P6 <width> <height> 255 <bytes>
  std::istringstream header(data);
  std::string magic;
  int maxValue = 0;
  header >> magic >> width_ >> height_ >> maxValue;
  if (magic != "P6" || maxValue != 255) throw std::runtime_error("not a page image: " + pdf);
  const auto offset = static_cast<std::size_t>(header.tellg()) + 1;
  rgb_.assign(data.begin() + static_cast<std::ptrdiff_t>(offset), data.end());
  if (rgb_.size() < static_cast<std::size_t>(width_) * height_ * 3) {
    throw std::runtime_error("short page image");
  }
}

Rgb PageImage::At(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
  return {rgb_[i], rgb_[i + 1], rgb_[i + 2]};
}

Rgb PageImage::AtPoint(double x, double y) const {
  const int px = static_cast<int>(x * dpi_ / 72.0);
  const int py = height_ - 1 - static_cast<int>(y * dpi_ / 72.0);
  return At(std::clamp(px, 0, width_ - 1), std::clamp(py, 0, height_ - 1));
}

bool Near(Rgb a, Rgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

int PageImage::CountNear(Rgb colour, int tolerance, double x0, double y0, double x1,
                         double y1) const {
  int count = 0;
  const double step = 72.0 / dpi_;
  for (double y = y0; y < y1; y += step) {
    for (double x = x0; x < x1; x += step) {
      if (Near(AtPoint(x, y), colour, tolerance)) ++count;
    }
  }
  return count;
}

std::string PdfText(const std::string& pdf) {
  return CommandOutput("pdftotext -layout " + Quote(pdf) + " - 2>/dev/null");
}

std::string PdfInfoField(const std::string& pdf, const std::string& field) {
  std::istringstream lines(CommandOutput("pdfinfo -enc UTF-8 " + Quote(pdf) + " 2>/dev/null"));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.starts_with(field + ":")) {
      const auto value = line.find_first_not_of(' ', field.size() + 1);
      return value == std::string::npos ? std::string() : line.substr(value);
    }
  }
  return {};
}

int PdfPages(const std::string& pdf) {
  const std::string pages = PdfInfoField(pdf, "Pages");
  return pages.empty() ? 0 : std::stoi(pages);
}

}  // namespace nimbra::test
