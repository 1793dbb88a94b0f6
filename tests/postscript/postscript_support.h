#pragma once
// Shared helpers of the PostScript tests: a temporary folder, real Ghostscript and poppler runs,
// rendered pixels, and the run log pointed into the temporary folder.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dictionary.h"

namespace nimbra::test {

// A fresh folder made with mkdtemp, removed with its content at the end. While it lives, the
// run's log (WriteLog) goes into it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string Fixture(const std::string& name);  // NIMBRA_TEST_DATA + "/" + name
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
std::vector<std::string> SplitLines(const std::string& text);  // at CR LF

DictionaryPtr MakeSettings(std::initializer_list<std::pair<const char*, const char*>> values);

// Runs a command line through /bin/sh; standard output and error go to `capture` (when given).
// Returns the exit status.
int Shell(const std::string& command, const std::string& capture = {});
std::string Quote(const std::string& text);  // for the shell

// gs with pdfwrite, -dSAFER -dNOPAUSE -dBATCH, the inputs in order; its messages go to
// `capture`. Returns the exit status.
int RunPdfwrite(const std::vector<std::string>& inputs, const std::string& pdf,
                const std::string& capture);

// A CUPS-like document (Ghostscript's ps2write output, as CUPS's filters deliver it) with
// `pages` pages, each showing "Page <n>" in black at the top left.
void MakeMultiPageDocument(int pages, const std::string& path);
// A one-page PDF with a solid rectangle of the colour (0..1) at the given place, in points.
void MakeRectanglePdf(const std::string& path, double r, double g, double b, double x, double y,
                      double w, double h);

// The "%%[Page: n]%%" markers of a capture file, in order.
std::vector<int> PageMarkers(const std::string& captureFile);

struct Rgb {
  int r = 0, g = 0, b = 0;
};
// One page rendered by pdftoppm at `dpi`.
class PageImage {
 public:
  PageImage(const std::string& pdf, int page, int dpi);
  int Width() const { return width_; }
  int Height() const { return height_; }
  Rgb At(int x, int y) const;
  // The pixel at a point of the page (PDF points from the lower-left corner).
  Rgb AtPoint(double x, double y) const;
  // Counts pixels in a box of points whose colour is within `tolerance` of `colour`.
  int CountNear(Rgb colour, int tolerance, double x0, double y0, double x1, double y1) const;

 private:
  int width_ = 0, height_ = 0, dpi_ = 0;
  std::vector<std::uint8_t> rgb_;
};
bool Near(Rgb a, Rgb b, int tolerance);

std::string PdfText(const std::string& pdf);                         // pdftotext -layout
std::string PdfInfoField(const std::string& pdf, const std::string& field);  // pdfinfo
int PdfPages(const std::string& pdf);

}  // namespace nimbra::test
