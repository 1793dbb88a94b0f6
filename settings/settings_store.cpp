#include "settings/settings_store.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/conversions.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "settings/folders.h"
#include "settings/ini_file.h"
#include "settings/log.h"
#include "settings/settings_file_names.h"
#include "settings/settings_keys.h"

namespace nimbra {
namespace {

// Passes an error on: an error raised here without a source gets the operation as its source,
// one from below gets "::" + operation appended.
[[noreturn]] void PassOn(Error error, std::string_view operation) {
  if (error.Source().empty()) throw Error(error.Number(), error.Description(), std::string(operation));
  throw error.PassedOn(operation);
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder + "/" + name;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

// Loads `path` into `ini`; on failure gives the reader's error code and message.
bool LoadIni(IniFile& ini, const std::string& path, long& code, std::string& message) {
  if (ini.Load(path)) return true;
  code = ini.LastError();
  message = ini.LastErrorMessage();
  return false;
}

// Copies every key of the section, lower-cased, into the result (a later key wins).
void MergeSection(const Dictionary& section, Dictionary& result) {
  for (const auto& entry : section) {
    if (!entry.value.IsDictionary()) result.Set(Lower(entry.key), entry.value.Text());
  }
}

// The section "PDF Printer" of a loaded file, or null after logging that it is missing.
DictionaryPtr SettingsSection(const IniFile& ini, const std::string& path) {
  DictionaryPtr section = ini.data()->Section(kSettingsSection);
  if (!section) {
    WriteLog("No [" + std::string(kSettingsSection) + "] section found in the settings file '" +
             path + "'.");
  }
  return section;
}

// The global file of the printer, read from the application folder. It is optional: a missing
// or unreadable file is ignored.
void ApplyGlobalFile(std::string_view printerName, Dictionary& result) {
  const std::string appFolder = ProgramFolder();
  std::string gpath = InFolder(appFolder, SettingsFileName("global", printerName, true));
  if (!IsFileNotFolder(gpath)) {
    gpath = InFolder(appFolder, SettingsFileName("global", InstanceName(printerName), false));
  }
  if (!IsFileNotFolder(gpath)) return;
  IniFile ini;
  if (!ini.Load(gpath)) return;
  if (DictionaryPtr section = SettingsSection(ini, gpath)) MergeSection(*section, result);
}

// Older settings stored the watermark's transparency (0..100) instead of its colour, and its
// size in other units; both are turned into today's keys when today's key is empty.
void ConvertLegacyKeys(Dictionary& settings) {
  const std::string color = settings.Item("watermarkcolor");
  settings.Set("watermarkcolor", color);
  if (color.empty() && settings.Exists("watermarktransparency")) {
    const double t = std::floor(LeadingNumber(settings.Item("watermarktransparency")));
    if (t >= 0 && t <= 100) {
      // nearbyint rounds halves to the even neighbour (the default rounding mode).
      const int grey = static_cast<int>(std::nearbyint(t / 100.0 * 255.0));
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%02X%02X%02X", grey, grey, grey);
      settings.Set("watermarkcolor", std::string(hex));
    }
    settings.Remove("watermarktransparency");
  }

  const std::string size = settings.Item("watermarkfontsize");
  settings.Set("watermarkfontsize", size);
  if (size.empty() && settings.Exists("watermarksize")) {
    const double v = LeadingNumber(settings.Item("watermarksize"));
    if (v >= 0) settings.Set("watermarkfontsize", NumberText(std::floor(v / 6.0 * 45.0)));
    settings.Remove("watermarksize");
  }
}

void AddMissingDefaults(Dictionary& settings) {
  const DictionaryPtr defaults = DefaultSettings();
  for (const auto& entry : *defaults) {
    if (!settings.Exists(entry.key)) settings.Set(entry.key, entry.value);
  }
}

DictionaryPtr LoadConfigImpl(std::string_view printerName, bool ignoreRunonce,
                             std::string& fileName, bool* runonceUsed) {
  const std::string dataFolder = DataFolder();
  std::string path = InFolder(dataFolder, SettingsFileName("runonce", printerName, true));
  WriteLog("Look for settings in " + path);
  const bool useRunonce = !ignoreRunonce && IsFileNotFolder(path);
  if (!useRunonce) {
    path = InFolder(dataFolder, SettingsFileName("settings", printerName, true));
    WriteLog("Look for settings in " + path);
  }
  fileName = path;
  if (runonceUsed) *runonceUsed = useRunonce;

  WriteLog("Load settings from " + path);
  IniFile ini;
  const bool exists = PathExists(path);
  if (exists) {
    WriteLog("Settings file exist");
    long code = 0;
    std::string message;
    if (!LoadIni(ini, path, code, message)) {
      const std::string text =
          "Unable to load settings. Error " + std::to_string(code) + ": " + message;
      WriteLog(text);
      throw Error(err::kSettingsLoad, text);
    }
  } else {
    WriteLog("Settings file does not exist");
  }

  if (useRunonce) {
    WriteLog("Remove runonce.ini");
    if (std::remove(path.c_str()) != 0) {
      const int e = errno;
      WriteLog("Error removing '" + path + "'. Error " + std::to_string(ErrorNumberFromErrno(e)) +
               ": " + SystemErrorText(e));
    }
  }

  auto result = Dictionary::New();
  if (exists) {
    if (DictionaryPtr section = SettingsSection(ini, path)) MergeSection(*section, *result);
  }
  // A one-shot file steers exactly one job: it is never combined with the global file.
  if (!useRunonce) ApplyGlobalFile(printerName, *result);
  ConvertLegacyKeys(*result);
  AddMissingDefaults(*result);
  return result;
}

DictionaryPtr SettingsDocument(const Dictionary& settings) {
  auto document = Dictionary::New();
  document->Set(kSettingsSection, settings.Clone());
  return document;
}

// Loads an existing user state file, or raises 1002 for `operation` after logging.
void LoadUserFile(IniFile& ini, const std::string& file, std::string_view operation) {
  long code = 0;
  std::string message;
  if (LoadIni(ini, file, code, message)) return;
  const std::string text = "Unable to load user settings (" + file + "). Error " +
                           std::to_string(code) + ": " + message;
  WriteLog(text);
  throw Error(err::kSettingsLoad, text, std::string(operation));
}

}  // namespace

DictionaryPtr LoadConfig(std::string_view printerName, bool ignoreRunonce, std::string& fileName,
                         bool* runonceUsed) {
  try {
    return LoadConfigImpl(printerName, ignoreRunonce, fileName, runonceUsed);
  } catch (const Error& e) {
    PassOn(e, "LoadConfig");
  }
}

bool WriteConfig(std::string_view fileName, const Dictionary& settings) {
  try {
    IniFile ini;
    ini.set_data(SettingsDocument(settings));
    const std::string file(fileName);
    if (!ini.Save(file)) {
      throw Error(err::kSettingsWrite, "Error writing settings file '" + file + "'. Error " +
                                           std::to_string(ini.LastError()) + ": " +
                                           ini.LastErrorMessage());
    }
    return true;
  } catch (const Error& e) {
    PassOn(e, "WriteConfig");
  }
}

std::string GetConfigContent(const Dictionary& settings) {
  try {
    return IniFile::IniDict2String(*SettingsDocument(settings));
  } catch (const Error& e) {
    PassOn(e, "GetConfigContent");
  }
}

std::string IniGetUserSetting(std::string_view file, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
  const std::string path(file);
  if (!PathExists(path)) return std::string(defaultValue);
  IniFile ini;
  LoadUserFile(ini, path, "IniGetUserSetting");
  DictionaryPtr values = ini.data()->Section(section);
  if (values) {
    if (const Value* value = values->Find(key); value && !value->IsDictionary()) {
      return value->Text();
    }
  }
  return std::string(defaultValue);
}

bool IniSetUserSetting(std::string_view file, std::string_view section, std::string_view key,
                       std::string_view value) {
  const std::string path(file);
  IniFile ini;
  if (PathExists(path)) LoadUserFile(ini, path, "IniSetUserSetting");
  Dictionary& document = *ini.data();
  if (section.empty()) {
    document.Set(key, std::string(value));
  } else {
    DictionaryPtr values = document.Section(section);
    if (!values) {
      values = Dictionary::New();
      document.Set(section, values);
    }
    values->Set(key, std::string(value));
  }
  // IniFile::Save replaces the file in one step, so two programs saving at once leave one
  // complete file (the last save wins), never a mixture.
  return ini.Save(path);
}

std::string UserSettingsFile(std::string_view printerName) {
  return InFolder(DataFolder(), SettingsFileName("user", printerName, true));
}

std::string GetUserSetting(std::string_view printerName, std::string_view key,
                           std::string_view defaultValue) {
  return IniGetUserSetting(UserSettingsFile(printerName), kUserSection, key, defaultValue);
}

bool SetUserSetting(std::string_view printerName, std::string_view key, std::string_view value) {
  return IniSetUserSetting(UserSettingsFile(printerName), kUserSection, key, value);
}

void MigrateSettingsFiles(std::string_view printerName) {
  for (const char* base : {"settings", "runonce", "user"}) {
    std::string step = "Get file names";
    std::string oldName;
    std::string newName;
    try {
      const std::string dataFolder = DataFolder();
      oldName = InFolder(dataFolder, SettingsFileName(base, InstanceName(printerName), false));
      newName = InFolder(dataFolder, SettingsFileName(base, printerName, true));
      step = "Check for files";
      if (newName != oldName && IsFileNotFolder(oldName)) {
        if (IsFileNotFolder(newName)) {
          step = "Delete source";
          std::remove(oldName.c_str());  // a stale old file that cannot be deleted is harmless
        } else {
          step = "Rename operation";
          if (std::rename(oldName.c_str(), newName.c_str()) != 0) throw SystemError(errno);
        }
      }
      step = "Done";
    } catch (const Error& e) {
      throw Error(e.Number(),
                  "Error updating settings.ini. Source=" + oldName + ", Destination=" + newName +
                      ", hint=" + step + ". " + e.Description(),
                  e.Source());
    }
  }
}

}  // namespace nimbra
