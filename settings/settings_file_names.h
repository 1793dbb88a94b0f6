#pragma once
// Names of the settings files of a printer. A printer's own files carry its name after "@";
// the older per-instance names carry the instance after "-". Both are encoded for file names.
#include <string>
#include <string_view>

namespace nimbra {

// base + ".ini" when `context` is empty; otherwise base, "@" (useAt) or "-", the context encoded
// for file names (percent form: "\" -> %5C, ":" -> %3A, ...; trailing dots removed), ".ini".
std::string SettingsFileName(std::string_view base, std::string_view context, bool useAt);

// The text between the first "[" of the printer name and the first "]" after it, encoded for
// file names; "" when there is no such pair. "Nimbra Creator [Invoices]" -> "Invoices".
std::string InstanceName(std::string_view printerName);

}  // namespace nimbra
