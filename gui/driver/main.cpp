// gui: converts one captured print job, shows one message of the monitor, or (started by a
// person without a job) opens the options. Always ends with exit code 0: other programs learn a
// job's outcome from the status file, the follow-up programs and the log.
#include "gui/driver/command_line.h"
#include "gui/driver/headless_user_interface.h"
#include "gui/driver/startup.h"

int main(int argc, char** argv) {
  try {
    const std::string commandLine = nimbra::JoinArguments(argc, argv);
    // This build has no desktop user interface yet, so no display is ever reachable: every run
    // is headless.
    nimbra::HeadlessUserInterface ui;
    nimbra::RunGui(commandLine, ui);
  } catch (...) {
    // Startup reports every failure itself; only running out of memory while doing so ends here.
  }
  return 0;
}
