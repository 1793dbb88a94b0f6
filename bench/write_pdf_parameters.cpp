// Writes the parameter file of a rendering pass exactly as gui writes it, for a bare Ghostscript
// run with the same device and options:
//   write_pdf_parameters <parameter file> <output pdf> <capture file> <input>... [-- key=value...]
// Settings after "--" are the job's settings (for example pdfa=yes).
#include <cstdio>
#include <string>
#include <vector>

#include "gui/render/pdf_parameters.h"
#include "platform/dictionary.h"
#include "platform/error.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: %s <parameter file> <output pdf> <capture file> <input>... "
                 "[-- key=value...]\n",
                 argv[0]);
    return 2;
  }
  nimbra::Dictionary settings;
  std::vector<std::string> inputs;
  bool inSettings = false;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      inSettings = true;
    } else if (inSettings) {
      const std::size_t equals = arg.find('=');
      settings.Set(arg.substr(0, equals), equals == std::string::npos ? "" : arg.substr(equals + 1));
    } else {
      inputs.push_back(arg);
    }
  }
  try {
    nimbra::WritePdfParameters(argv[1], argv[2], settings, false, argv[3], inputs);
  } catch (const nimbra::Error& e) {
    std::fprintf(stderr, "%s\n", e.Description().c_str());
    return 1;
  }
  return 0;
}
