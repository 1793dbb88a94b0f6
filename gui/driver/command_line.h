#pragma once
// The command line of gui: a list of name=value items (the monitor quotes every value and
// doubles the quotation marks inside), and the escapes of a message text.
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// Parses "name=value" items separated by a comma, a blank, or a comma and blanks. A value in
// quotation marks may hold blanks and commas; "" inside it is one quotation mark. A leading "/"
// or "-" of a name is dropped; a name without "=" gets the empty value. Names are
// case-sensitive. A name given twice raises the dictionary's error 457.
DictionaryPtr ParseCommandLine(std::string_view text);

// Replaces the backslash escapes of a message: \\ -> backslash, \t -> tab, \r -> line feed,
// \n -> carriage return, a backslash before any other character is dropped, and so is a
// backslash at the very end.
std::string DecodeMessage(std::string_view text);

// Builds the one raw command-line text from the program's arguments (argv[1..]). The monitor
// passes the whole parameter string as one argument with every value quoted; a shell has already
// removed the quotation marks a person typed. So: the arguments are joined with blanks, and an
// argument of the form name=value whose value does not start with a quotation mark but holds a
// blank, a comma or a quotation mark has its value put back in quotation marks (inner ones
// doubled), so that the parser sees it as one value. Everything else is passed unchanged.
// See docs/command-line.md.
std::string JoinArguments(int argc, const char* const argv[]);

}  // namespace nimbra
