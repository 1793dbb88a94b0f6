#include "gui/driver/run_program.h"

#include "platform/files.h"
#include "platform/process.h"

namespace nimbra {
namespace {

// The shell variable that carries the output file into the command.
constexpr std::string_view kOutputVariable = "nimbra_output_file";

}  // namespace

std::string ProgramCommandLine(std::string_view command, std::string_view outputFile,
                               std::int32_t pageCount, std::int32_t fileCount) {
  const std::string reference = "${" + std::string(kOutputVariable) + "}";
  enum class Quote { kNone, kSingle, kDouble } quote = Quote::kNone;
  std::string body;
  bool usesOutput = false;
  for (std::size_t i = 0; i < command.size(); ++i) {
    char c = command[i];
    char next = i + 1 < command.size() ? command[i + 1] : '\0';
    if (c == '%' && (next == '1' || next == '2' || next == '3')) {
      ++i;
      if (next == '2') {
        body += std::to_string(pageCount);
      } else if (next == '3') {
        body += std::to_string(fileCount);
      } else {
        usesOutput = true;
        // Whatever the quoting around the mark, the name arrives as one word, unexpanded.
        switch (quote) {
          case Quote::kNone: body += '"' + reference + '"'; break;
          case Quote::kDouble: body += reference; break;
          case Quote::kSingle: body += "'\"" + reference + "\"'"; break;
        }
      }
      continue;
    }
    body += c;
    if (c == '\\' && quote != Quote::kSingle && next != '\0') {
      // An escaped character is taken literally by the shell, and so it is here.
      body += next;
      ++i;
    } else if (c == '\'' && quote != Quote::kDouble) {
      quote = quote == Quote::kSingle ? Quote::kNone : Quote::kSingle;
    } else if (c == '"' && quote != Quote::kSingle) {
      quote = quote == Quote::kDouble ? Quote::kNone : Quote::kDouble;
    }
  }
  if (!usesOutput) return body;
  return std::string(kOutputVariable) + "=" + ShellQuote(outputFile) + "; " + body;
}

pid_t RunProgram(std::string_view command, std::string_view folder, std::string_view outputFile,
                 std::int32_t pageCount, std::int32_t fileCount) {
  std::string workingFolder = folder.empty() ? CurrentFolder() : std::string(folder);
  return RunCommand(ProgramCommandLine(command, outputFile, pageCount, fileCount), 0,
                    workingFolder)
      .pid;
}

}  // namespace nimbra
