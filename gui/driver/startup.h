#pragma once
// One run of gui: the start-up sequence, the choice between message, job and options mode, the
// orderly exit and the single error handler. Whatever happens, the run ends with exit code 0;
// other programs learn a job's outcome from the status file, the follow-up programs and the log.
#include <string>
#include <string_view>

#include "gui/driver/job_context.h"

namespace nimbra {

class Error;
class UserInterface;

inline constexpr char kProductName[] = "Nimbra Creator";

// Runs the event described by `rawCommandLine` (one text, see JoinArguments) with `context` as
// the run's state, reaching the user only through `ui`. Never throws; returns the exit code, 0.
int Startup(JobContext& context, std::string_view rawCommandLine, UserInterface& ui);

// The same with a fresh job context: what main() calls.
int RunGui(std::string_view rawCommandLine, UserInterface& ui);

// Reports a failure of the run: failure status file and the follow-up programs that have not run
// (only once the job's settings exist), the message (unless errors are suppressed), the log line
// "Error handler. Error <n>: <description>", and the clean-up in error mode. Each step is
// guarded, so the handler finishes even when the log or another step fails.
void HandleError(JobContext& context, const Error& error, std::string& stepLabel,
                 UserInterface& ui);

}  // namespace nimbra
