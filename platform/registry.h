#pragma once
// The registry: one text file of keys and string values, shared by every program of the
// installation. Path: the environment variable NIMBRA_REGISTRY, else the installation's default.
// Format (UTF-8):
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Varnell inc.\PDF Printer\Settings]
//   "AppFolder"="/usr/lib/nimbra-creator"
//   @="default value of the key"
// Inside quotes, \\ is a backslash, \" a quotation mark, \n and \r line breaks. Key paths and
// value names compare case-insensitively. Lines starting with ";" and lines that cannot be read
// are kept unchanged by writers and ignored by readers. Writers replace the file atomically
// (temporary file, fsync, rename) under an exclusive lock on "<file>.lock", so concurrent
// writers of different values never lose each other's change. A missing file reads as empty.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nimbra {

// The registry file in use.
std::string RegistryFilePath();

// Reads a value by full path "<root>\<key path>\<value name>" (an empty value name, i.e. a
// trailing "\", is the key's default value). Roots: HKEY_CLASSES_ROOT/HKCR,
// HKEY_CURRENT_USER/HKCU, HKEY_LOCAL_MACHINE/HKLM, HKEY_USERS/HKUR (any case). An unknown
// root, a path without "\", a missing key or value, or an unreadable file give nullopt; this
// never throws. The 64-bit view is the same file, so use64BitView changes nothing.
std::optional<std::string> RegistryRead(std::string_view fullValuePath, bool use64BitView = true);

// Writers take key paths with their root ("HKLM\SOFTWARE\..."; roots as for RegistryRead) and
// throw nimbra::Error: 1000 for a bad key path, the system's error for file failures.
// An empty name is the key's default value ("@").
void RegistryWriteValue(std::string_view keyPath, std::string_view name, std::string_view value);
// Removes the value; a missing value or key is not an error.
void RegistryDeleteValue(std::string_view keyPath, std::string_view name);
// Removes the key with all its values and all its subkeys; a missing key is not an error.
void RegistryDeleteKey(std::string_view keyPath);

// The values of the key in file order (name "" for the default value); empty when missing.
std::vector<std::pair<std::string, std::string>> RegistryEnumValues(std::string_view keyPath);
// The names of the direct subkeys of the key that have a section of their own or below, in
// file order; empty when there is none.
std::vector<std::string> RegistryEnumKeys(std::string_view keyPath);

}  // namespace nimbra
