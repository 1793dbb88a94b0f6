// gui: converts one captured print job, shows one message of the monitor, or (started by a
// person without a job) opens the options. Always ends with exit code 0.
#include "gui/driver/command_line.h"
#include "gui/driver/headless_user_interface.h"
#include "gui/driver/startup.h"

int main(int argc, char** argv) {
  const std::string commandLine = nimbra::JoinArguments(argc, argv);
  // There is no desktop user interface in this build yet: every run is headless.
  nimbra::HeadlessUserInterface ui;
  nimbra::RunGui(commandLine, ui);
  return 0;
}
