#include "monitor/message_box.h"

#include <cstdio>
#include <string>

namespace nimbra {

void MonitorMessageBox(std::string_view text, std::string_view caption, MonitorIcon icon) {
  // CUPS reads one message per line: line breaks inside the text become blanks.
  std::string line = icon == MonitorIcon::kError ? "ERROR: " : "INFO: ";
  line += caption;
  line += ": ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace nimbra
