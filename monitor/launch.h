#pragma once
// Starting gui for the printing user: its place (the AppFolder of the registry), its command line
// (the program and the parameter string as ONE argument), the start as the thread's client user
// with the user's environment, messages shown through gui, and one variable of the user's
// environment.
#include <optional>
#include <string>
#include <string_view>

#include "monitor/message_box.h"

namespace nimbra {

inline constexpr const char* kGuiProgramName = "gui";

// A program and its single argument; Text() is the form the log shows:
// a double quote, the program, a double quote, a blank, the argument.
struct CommandLine {
  std::string program;
  std::string argument;
  std::string Text() const { return "\"" + program + "\" " + argument; }
};

// Starts gui with `parameters`. wait: 0 do not wait, > 0 wait so many milliseconds (then the
// program is ended and the call fails), < 0 wait without limit. True when it started (and,
// with a wait, ended in time).
bool RunGUI(std::string_view parameters, long waitMs);

// Starts the program as the thread's client user. Run as root for another user: a new session,
// the user's groups, gid and uid (no way back to root) before exec, the user's environment
// (UserEnvironmentBlock, plus NIMBRA_REGISTRY when the installation's registry file was moved),
// the home folder as working folder, standard handles on /dev/null.
// Not root: the program runs as the process's own user, with the environment built the same
// way. gui never runs as root for another user.
bool RunProcessAsUser(const CommandLine& commandLine, long waitMs);

// Shows `text` through gui: msg="<text>", icon="<error|exclamation|information>".
bool GUIMessage(std::string_view text, MonitorIcon icon, long waitMs = 0);
// The icon word gui understands for an icon value.
std::string IconWord(int iconValue);

// The value of `name` in the client user's environment (as built for gui), or nullopt.
std::optional<std::string> GetUserEnvironmentVariable(std::string_view name);

}  // namespace nimbra
