#pragma once
// The job pipeline: settings and dialogs, the temporary files, PostScript patching, the
// Ghostscript passes, delivery, progress and completion display, the status file and the
// follow-up programs, in that order.
#include <string>
#include <string_view>

#include "gui/driver/job_context.h"

namespace nimbra {

class UserInterface;

// Converts the captured `postScriptFile` into the configured output. Returns normally when the
// job is done, when the user cancelled it and when it has no output name; raises every error of
// the steps it runs. `stepLabel` is overwritten with the text of each step before it starts, so
// the error message can name the step that failed.
void MakePDF(JobContext& context, UserInterface& ui, const std::string& postScriptFile,
             std::string& stepLabel);

}  // namespace nimbra
