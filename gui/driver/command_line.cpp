#include "gui/driver/command_line.h"

#include <cstddef>

#include "platform/error.h"

namespace nimbra {
namespace {

bool IsBlank(char c) { return c == ' '; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Reads a quoted text; `rest` starts just after the opening quotation mark and is left just after
// the closing one. A doubled quotation mark is one quotation mark; the end of the text also ends
// an unterminated quote.
std::string ReadQuoted(std::string_view& rest) {
  std::string out;
  std::size_t i = 0;
  while (i < rest.size()) {
    if (rest[i] == '"') {
      if (i + 1 < rest.size() && rest[i + 1] == '"') {
        out += '"';
        i += 2;
        continue;
      }
      ++i;  // the closing quotation mark
      break;
    }
    out += rest[i++];
  }
  rest.remove_prefix(i);
  return out;
}

// Reads up to (not including) the first of `stops`, or to the end.
std::string ReadUntil(std::string_view& rest, std::string_view stops) {
  std::size_t end = rest.find_first_of(stops);
  if (end == std::string_view::npos) end = rest.size();
  std::string out(rest.substr(0, end));
  rest.remove_prefix(end);
  return out;
}

}  // namespace

DictionaryPtr ParseCommandLine(std::string_view text) {
  DictionaryPtr params = Dictionary::New();
  std::string_view rest = TrimBlanks(text);
  while (!rest.empty()) {
    std::string name;
    if (rest.front() == '"') {
      rest.remove_prefix(1);
      name = ReadQuoted(rest);
    } else {
      name = ReadUntil(rest, "=, ");
    }
    name = std::string(TrimBlanks(name));
    if (!name.empty() && (name.front() == '/' || name.front() == '-')) name.erase(0, 1);

    std::string value;
    if (!rest.empty() && rest.front() == '=') {
      rest.remove_prefix(1);
      if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        value = ReadQuoted(rest);
      } else {
        value = ReadUntil(rest, ", ");
      }
      value = std::string(TrimBlanks(value));
    }
    if (!rest.empty() && (rest.front() == ',' || IsBlank(rest.front()))) rest.remove_prefix(1);

    try {
      params->Add(name, Value(std::move(value)));
    } catch (Error& e) {
      // The dictionary's own text does not say which name; the person reading the message needs it.
      throw Error(e.Number(), e.Description() + " (parameter '" + name + "')", e.Source())
          .PassedOn("ParseCommandLine");
    }
    rest = TrimBlanks(rest);
  }
  return params;
}

std::string DecodeMessage(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) break;  // a backslash at the very end is dropped
    switch (text[i]) {
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\n';
        break;
      case 'n':
        out += '\r';
        break;
      default:  // "\\" gives one backslash; any other character stands for itself
        out += text[i];
    }
  }
  return out;
}

std::string JoinArguments(int argc, const char* const argv[]) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i] ? argv[i] : "";
    if (i > 1) line += ' ';
    std::size_t eq = arg.find('=');
    bool plainName = eq != std::string_view::npos && eq > 0 &&
                     arg.substr(0, eq).find_first_of(" ,\"") == std::string_view::npos;
    std::string_view value = plainName ? arg.substr(eq + 1) : std::string_view();
    if (!plainName || value.empty() || value.front() == '"' ||
        value.find_first_of(" ,\"") == std::string_view::npos) {
      line += arg;
      continue;
    }
    line += arg.substr(0, eq + 1);
    line += '"';
    for (char c : value) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  }
  return line;
}

}  // namespace nimbra
