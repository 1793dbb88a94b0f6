#pragma once
// The follow-up programs of a job (run on success, run on error, after print): a configured
// command line, with "%1" standing for the output file, "%2" for the page count and "%3" for the
// number of delivered files, run through /bin/sh in its own working folder and not waited for.
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace nimbra {

// The shell text that runs `command`. "%2" and "%3" become the counts in decimal. The output
// file is never pasted into the shell text: the text starts by assigning it, single-quoted, to
// a shell variable, and each "%1" becomes a reference to that variable (quoted so that it stays
// one word and is not expanded further), so a name holding "$", "`", quotes or blanks reaches
// the program exactly. Every mark is replaced in one pass, so "%2" inside the file name stays.
std::string ProgramCommandLine(std::string_view command, std::string_view outputFile,
                               std::int32_t pageCount, std::int32_t fileCount);

// Starts ProgramCommandLine(...) through "/bin/sh -c" in `folder` (empty: the current folder)
// and returns at once with the shell's process id; the program is reaped when it ends, so it
// leaves no zombie. Cannot start (a missing folder, say): error 1000 "Error launching the
// command [<command line>]".
pid_t RunProgram(std::string_view command, std::string_view folder, std::string_view outputFile,
                 std::int32_t pageCount, std::int32_t fileCount);

}  // namespace nimbra
