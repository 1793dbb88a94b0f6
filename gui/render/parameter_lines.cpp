#include "gui/render/parameter_lines.h"

#include "platform/error.h"
#include "platform/files.h"
#include "settings/folders.h"

namespace nimbra {
namespace {

void RejectLineBreak(std::string_view argument) {
  if (argument.find_first_of("\r\n") != std::string_view::npos) {
    throw Error(err::kGeneral,
                "A Ghostscript argument cannot hold a line break: " + std::string(argument),
                "ParameterLines");
  }
}

}  // namespace

std::string ValueArgument(std::string_view prefix, std::string_view value) {
  std::string argument = std::string(prefix) + std::string(value);
  RejectLineBreak(argument);
  if (value.find_first_of(" \t\"") != std::string_view::npos) return '"' + argument + '"';
  return argument;
}

std::string QuotedArgument(std::string_view prefix, std::string_view path) {
  std::string argument = std::string(prefix) + std::string(path);
  RejectLineBreak(argument);
  return '"' + argument + '"';
}

void ParameterLines::Add(std::string_view argument) {
  RejectLineBreak(argument);
  lines_.emplace_back(argument);
}

void ParameterLines::AddValue(std::string_view prefix, std::string_view value) {
  lines_.push_back(ValueArgument(prefix, value));
}

void ParameterLines::AddQuoted(std::string_view prefix, std::string_view path) {
  lines_.push_back(QuotedArgument(prefix, path));
}

std::string ParameterLines::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

void ParameterLines::WriteTo(const std::string& parameterFile) const {
  WriteTextFile(parameterFile, Text());
}

std::string FontPathText() {
  std::string text;
  for (const std::string& folder : FontFolders()) {
    if (!text.empty()) text += ':';
    text += folder;
  }
  return text;
}

}  // namespace nimbra
