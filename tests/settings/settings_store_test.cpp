// The layered settings store: which files make up a printer's settings, how they merge, the
// legacy conversions, writing back, the user state file and the migration of old file names.
#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "platform/error.h"
#include "settings/ini_file.h"
#include "settings/log.h"
#include "settings/settings_file_names.h"
#include "settings/settings_keys.h"
#include "settings_test_env_support.h"

namespace nimbra {
namespace {

using test::SettingsTestEnvironment;

constexpr char kPrinter[] = "Nimbra_Creator";

std::string Section(const std::string& lines) { return "[PDF Printer]\r\n" + lines; }

class SettingsStoreTest : public ::testing::Test {
 protected:
  std::string Data(const std::string& name) const { return env_.DataFolder() + "/" + name; }
  std::string App(const std::string& name) const { return env_.AppFolder() + "/" + name; }

  SettingsTestEnvironment env_;
};

TEST(SettingsFileNameTest, NamesForPrintersAndInstances) {
  struct Case {
    std::string base, context;
    bool useAt;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"settings", "", true, "settings.ini"},
      {"settings", "", false, "settings.ini"},
      {"settings", "Nimbra_Creator", true, "settings@Nimbra_Creator.ini"},
      {"settings", "Nimbra_Creator[Invoices]", true, "settings@Nimbra_Creator[Invoices].ini"},
      {"runonce", "Nimbra Creator [Invoices]", true, "runonce@Nimbra Creator [Invoices].ini"},
      {"global", "Invoices", false, "global-Invoices.ini"},
      {"settings", "a\\b:c.", true, "settings@a%5Cb%3Ac.ini"},
      {"settings", "x...", true, "settings@x.ini"},
      {"user", "a/b*c?d\"e<f>g|h", true, "user@a%2Fb%2Ac%3Fd%22e%3Cf%3Eg%7Ch.ini"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SettingsFileName(c.base, c.context, c.useAt), c.expected) << c.context;
  }
}

TEST(InstanceNameTest, TextBetweenTheFirstBrackets) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Nimbra Creator [Invoices]", "Invoices"},
      {"Nimbra_Creator[Invoices]", "Invoices"},
      {"Nimbra_Creator", ""},
      {"Printer [open", ""},
      {"Printer ] [a] [b]", "a"},
      {"P [a:b.]", "a%3Ab"},
      {"P []", ""},
  };
  for (const auto& [printer, expected] : cases) {
    EXPECT_EQ(InstanceName(printer), expected) << printer;
  }
}

TEST_F(SettingsStoreTest, NoFilesGiveTheDefaults) {
  std::string fileName;
  bool runonceUsed = true;
  const DictionaryPtr settings = LoadConfig(kPrinter, false, fileName, &runonceUsed);

  EXPECT_EQ(fileName, Data("settings@Nimbra_Creator.ini"));
  EXPECT_FALSE(runonceUsed);
  const DictionaryPtr defaults = DefaultSettings();
  for (const auto& entry : *defaults) {
    if (entry.key == "watermarkcolor" || entry.key == "watermarkfontsize") continue;
    EXPECT_EQ(settings->Item(entry.key), entry.value.Text()) << entry.key;
  }
  // The legacy conversions leave both keys present and empty; the watermark uses the defaults.
  EXPECT_TRUE(settings->Exists("watermarkcolor"));
  EXPECT_EQ(settings->Item("watermarkcolor"), "");
  EXPECT_EQ(settings->Item("watermarkfontsize"), "");
  EXPECT_EQ(settings->Count(), 56u);
  EXPECT_FALSE(settings->Exists("showsaveas"));

  const std::string log = env_.Log();
  EXPECT_NE(log.find("Look for settings in " + Data("runonce@Nimbra_Creator.ini") + "\r\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("Look for settings in " + Data("settings@Nimbra_Creator.ini") + "\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Load settings from " + Data("settings@Nimbra_Creator.ini") + "\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Settings file does not exist"), std::string::npos);
}

TEST_F(SettingsStoreTest, FilesUsedForDifferentPrinterNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Nimbra_Creator[Invoices]", "@Nimbra_Creator[Invoices].ini"},
      {"Nimbra Creator [Invoices]", "@Nimbra Creator [Invoices].ini"},
      {"a\\b:c.", "@a%5Cb%3Ac.ini"},
      {"", ".ini"},
  };
  for (const auto& [printer, suffix] : cases) {
    std::string fileName;
    LoadConfig(printer, false, fileName);
    EXPECT_EQ(fileName, Data("settings" + suffix)) << printer;
    EXPECT_NE(env_.Log().find("Look for settings in " + Data("runonce" + suffix)),
              std::string::npos) << printer;
    EXPECT_EQ(UserSettingsFile(printer), Data("user" + suffix)) << printer;
  }
  // A one-shot file written for the encoded name is found and consumed.
  env_.Write(Data("runonce@a%5Cb%3Ac.ini"), Section("  output=/once.pdf\r\n"));
  std::string fileName;
  EXPECT_EQ(LoadConfig("a\\b:c.", false, fileName)->Item("output"), "/once.pdf");
  EXPECT_FALSE(env_.Exists(Data("runonce@a%5Cb%3Ac.ini")));
}

// Which files are read, in which precedence, and what happens to the one-shot file.
TEST_F(SettingsStoreTest, LayeringOfOneShotPersistentAndGlobalFiles) {
  struct Case {
    std::string name;
    std::string printer;
    std::map<std::string, std::string> dataFiles;  // name in the data folder -> content
    std::map<std::string, std::string> appFiles;   // name in the application folder -> content
    bool ignoreRunonce;
    std::string expectedFile;  // in the data folder
    bool expectedRunonceUsed;
    std::map<std::string, std::string> expected;
    bool runonceRemains;
    std::string expectedLog;
  };
  const std::string runonce = "runonce@Nimbra_Creator.ini";
  const std::string persistent = "settings@Nimbra_Creator.ini";
  const std::string global = "global@Nimbra_Creator.ini";
  const std::vector<Case> cases = {
      {"one-shot used and consumed",
       kPrinter,
       {{runonce, Section("  output=/one/shot.pdf\r\n")},
        {persistent, Section("  output=/persistent.pdf\r\n  zoom=fitwidth\r\n")}},
       {{global, Section("  showpdf=no\r\n")}},
       false,
       runonce,
       true,
       {{"output", "/one/shot.pdf"}, {"zoom", "fitall"}, {"showpdf", "ask"}},
       false,
       "Remove runonce.ini"},
      {"one-shot ignored",
       kPrinter,
       {{runonce, Section("  output=/one/shot.pdf\r\n")},
        {persistent, Section("  output=/persistent.pdf\r\n")}},
       {{global, Section("  showpdf=no\r\n")}},
       true,
       persistent,
       false,
       {{"output", "/persistent.pdf"}, {"showpdf", "no"}},
       true,
       "Settings file exist"},
      {"one-shot without the section",
       kPrinter,
       {{runonce, "[Other]\r\n  output=/elsewhere.pdf\r\n"},
        {persistent, Section("  output=/persistent.pdf\r\n")}},
       {{global, Section("  showpdf=no\r\n")}},
       false,
       runonce,
       true,
       {{"output", "<desktop>/<title>.pdf"}, {"showpdf", "ask"}},
       false,
       "No [PDF Printer] section found in the settings file '"},
      {"mixed-case keys are lower-cased, the later of two spellings wins",
       kPrinter,
       {{persistent, Section("  Output=/first.pdf\r\n  SHOWPDF=No\r\n  OUTPUT=/second.pdf\r\n")}},
       {},
       false,
       persistent,
       false,
       {{"output", "/second.pdf"}, {"showpdf", "No"}},
       false,
       "Settings file exist"},
      {"global file overrides the persistent file",
       kPrinter,
       {{persistent, Section("  output=/persistent.pdf\r\n  zoom=fitwidth\r\n")}},
       {{global, Section("  Output=/global.pdf\r\n")}},
       false,
       persistent,
       false,
       {{"output", "/global.pdf"}, {"zoom", "fitwidth"}},
       false,
       "Settings file exist"},
      {"global file by instance name when there is none by printer name",
       "Nimbra_Creator[Invoices]",
       {},
       {{"global-Invoices.ini", Section("  output=/invoices.pdf\r\n")}},
       false,
       "settings@Nimbra_Creator[Invoices].ini",
       false,
       {{"output", "/invoices.pdf"}},
       false,
       "Settings file does not exist"},
      {"global file by printer name comes first",
       "Nimbra_Creator[Invoices]",
       {},
       {{"global-Invoices.ini", Section("  output=/instance.pdf\r\n")},
        {"global@Nimbra_Creator[Invoices].ini", Section("  output=/printer.pdf\r\n")}},
       false,
       "settings@Nimbra_Creator[Invoices].ini",
       false,
       {{"output", "/printer.pdf"}},
       false,
       ""},
      {"global file without the section is logged and ignored",
       kPrinter,
       {},
       {{global, "[pdf printer]\r\n  output=/lower-case-section.pdf\r\n"}},
       false,
       persistent,
       false,
       {{"output", "<desktop>/<title>.pdf"}},
       false,
       "No [PDF Printer] section found in the settings file '"},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SettingsTestEnvironment env;  // a fresh world for each case
    const std::string dataFolder = env.DataFolder();
    for (const auto& [name, content] : c.dataFiles) env.Write(dataFolder + "/" + name, content);
    for (const auto& [name, content] : c.appFiles) env.Write(env.AppFolder() + "/" + name, content);

    std::string fileName;
    bool runonceUsed = false;
    const DictionaryPtr settings = LoadConfig(c.printer, c.ignoreRunonce, fileName, &runonceUsed);
    EXPECT_EQ(fileName, dataFolder + "/" + c.expectedFile);
    EXPECT_EQ(runonceUsed, c.expectedRunonceUsed);
    for (const auto& [key, value] : c.expected) EXPECT_EQ(settings->Item(key), value) << key;
    for (const auto& entry : *settings) {
      EXPECT_EQ(entry.key, [&] {
        std::string lower = entry.key;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return lower;
      }());
    }
    const std::string runoncePath = dataFolder + "/" + SettingsFileName("runonce", c.printer, true);
    if (c.dataFiles.count(SettingsFileName("runonce", c.printer, true))) {
      EXPECT_EQ(env.Exists(runoncePath), c.runonceRemains);
    }
    EXPECT_NE(env.Log().find(c.expectedLog), std::string::npos) << env.Log();
  }
}

TEST_F(SettingsStoreTest, AFolderNamedLikeTheOneShotFileIsNotAOneShotFile) {
  env_.Write(Data("settings@Nimbra_Creator.ini"), Section("  output=/persistent.pdf\r\n"));
  ASSERT_EQ(::mkdir(Data("runonce@Nimbra_Creator.ini").c_str(), 0755), 0);
  std::string fileName;
  bool runonceUsed = true;
  const DictionaryPtr settings = LoadConfig(kPrinter, false, fileName, &runonceUsed);
  EXPECT_FALSE(runonceUsed);
  EXPECT_EQ(settings->Item("output"), "/persistent.pdf");
}

TEST_F(SettingsStoreTest, LegacyWatermarkKeysAreConverted) {
  struct Case {
    std::string lines;
    std::string color;
    bool transparencyKept;
    std::string fontSize;
    bool sizeKept;
  };
  const std::vector<Case> cases = {
      {"watermarktransparency=50", "#808080", false, "", false},
      {"watermarktransparency=150", "", false, "", false},
      {"watermarktransparency=-1", "", false, "", false},
      {"watermarktransparency=0", "#000000", false, "", false},
      {"watermarktransparency=100", "#FFFFFF", false, "", false},
      // Halves go to the even neighbour: 76.5 -> 76, 178.5 -> 178.
      {"watermarktransparency=30", "#4C4C4C", false, "", false},
      {"watermarktransparency=70", "#B2B2B2", false, "", false},
      {"watermarktransparency=50.9", "#808080", false, "", false},  // rounded down first
      {"watermarktransparency=abc", "#000000", false, "", false},
      {"watermarkcolor=#FF0000\r\n  watermarktransparency=50", "#FF0000", true, "", false},
      {"watermarksize=6", "", false, "45", false},
      {"watermarksize=2", "", false, "15", false},
      {"watermarksize=1", "", false, "7", false},
      {"watermarksize=-3", "", false, "", false},
      {"watermarkfontsize=30\r\n  watermarksize=6", "", false, "30", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    env_.Write(Data("settings@Nimbra_Creator.ini"), Section("  " + c.lines + "\r\n"));
    std::string fileName;
    const DictionaryPtr settings = LoadConfig(kPrinter, false, fileName);
    EXPECT_EQ(settings->Item("watermarkcolor"), c.color);
    EXPECT_EQ(settings->Exists("watermarktransparency"), c.transparencyKept);
    EXPECT_EQ(settings->Item("watermarkfontsize"), c.fontSize);
    EXPECT_EQ(settings->Exists("watermarksize"), c.sizeKept);
  }
}

TEST_F(SettingsStoreTest, UnreadableSettingsFileRaises1002) {
  const std::string path = Data("settings@Nimbra_Creator.ini");
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);  // a folder where the file should be
  std::string fileName;
  try {
    LoadConfig(kPrinter, false, fileName);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 1002);
    EXPECT_EQ(e.Source(), "LoadConfig");
    // A folder cannot be read as a file: an access error (75), named by the reader.
    EXPECT_EQ(e.Description().rfind("Unable to load settings. Error 75: ", 0), 0u)
        << e.Description();
    EXPECT_NE(e.Description().find(path), std::string::npos);
    EXPECT_NE(env_.Log().find(": " + e.Description() + "\r\n"), std::string::npos);
  }
  EXPECT_NE(env_.Log().find("Settings file exist\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, SettingsFileWithoutReadPermissionRaises1002) {
  const std::string path = Data("settings@Nimbra_Creator.ini");
  env_.Write(path, Section("  output=/x.pdf\r\n"));
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  // The ordinary user needs its own log folder and a way into the data folder.
  const std::string logFolder = env_.Root() + "/nobody-tmp";
  ASSERT_EQ(::mkdir(logFolder.c_str(), 0700), 0);
  test::GiveToOrdinaryUser(logFolder);
  test::OpenPathForOthers(env_.Root(), env_.DataFolder());

  const auto outcome = test::RunAsOrdinaryUser([&]() -> std::string {
    ::setenv("TMPDIR", logFolder.c_str(), 1);
    ResetLogStateForTesting();
    SetLogSessionId("nobody");
    SetLogOpenTimeoutForTesting(std::chrono::milliseconds(200));
    std::string fileName;
    try {
      LoadConfig(kPrinter, false, fileName);
      return "no error";
    } catch (const Error& e) {
      return std::to_string(e.Number()) + "|" + e.Source() + "|" + e.Description() + "|" +
             (SettingsTestEnvironment::Read(LogFileName()).find(e.Description()) !=
                      std::string::npos
                  ? "logged"
                  : "not logged");
    }
  });
  if (!outcome) GTEST_SKIP() << "cannot switch to an ordinary user here";
  // number|source|description|logged; the reader's message names the file and the reason.
  EXPECT_EQ(outcome->rfind("1002|LoadConfig|Unable to load settings. Error 75: ", 0), 0u) << *outcome;
  EXPECT_NE(outcome->find("Permission denied|logged"), std::string::npos) << *outcome;
}

// A one-shot file that cannot be deleted is still used; the failure is only logged.
TEST_F(SettingsStoreTest, OneShotFileThatCannotBeDeletedIsUsedAndLogged) {
  const std::string path = Data("runonce@Nimbra_Creator.ini");
  env_.Write(path, Section("  output=/once.pdf\r\n"));
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(env_.DataFolder().c_str(), 0555), 0);  // nobody may delete in it
  const std::string logFolder = env_.Root() + "/nobody-tmp";
  ASSERT_EQ(::mkdir(logFolder.c_str(), 0700), 0);
  test::GiveToOrdinaryUser(logFolder);
  test::OpenPathForOthers(env_.Root(), env_.DataFolder());

  const auto outcome = test::RunAsOrdinaryUser([&]() -> std::string {
    ::setenv("TMPDIR", logFolder.c_str(), 1);
    ResetLogStateForTesting();
    SetLogSessionId("nobody");
    std::string fileName;
    bool runonceUsed = false;
    const DictionaryPtr settings = LoadConfig(kPrinter, false, fileName, &runonceUsed);
    const std::string log = SettingsTestEnvironment::Read(LogFileName());
    const auto line = log.find("Error removing '");
    return settings->Item("output") + "|" + (runonceUsed ? "runonce" : "persistent") + "|" +
           (line == std::string::npos ? "no line" : log.substr(line, log.find('\r', line) - line));
  });
  ::chmod(env_.DataFolder().c_str(), 0755);
  if (!outcome) GTEST_SKIP() << "cannot switch to an ordinary user here";
  EXPECT_EQ(*outcome, "/once.pdf|runonce|Error removing '" + path + "'. Error 75: Permission denied");
  EXPECT_TRUE(env_.Exists(path));
}

TEST_F(SettingsStoreTest, WriteConfigWritesEveryKeyInOrderAndLoadsBack) {
  std::string fileName;
  DictionaryPtr settings = LoadConfig(kPrinter, true, fileName);
  settings->Set("output", "/srv/out/<title>.pdf");
  settings->Set("extra", "kept");
  EXPECT_TRUE(WriteConfig(fileName, *settings));

  const std::string text = env_.Read(fileName);
  // The two keys of the legacy conversions come first (they are set before the defaults).
  EXPECT_EQ(text.rfind("[PDF Printer]\r\n  watermarkcolor=\r\n  watermarkfontsize=\r\n"
                       "  afterprintprogram=\r\n  afterprintprogramdir=\r\n",
                       0),
            0u) << text;
  EXPECT_NE(text.find("  output=/srv/out/<title>.pdf\r\n"), std::string::npos);

  const DictionaryPtr again = LoadConfig(kPrinter, true, fileName);
  EXPECT_EQ(again->Keys(), settings->Keys());
  for (const auto& entry : *settings) EXPECT_EQ(again->Item(entry.key), entry.value.Text());
}

TEST_F(SettingsStoreTest, WriteConfigFailureRaises1004) {
  Dictionary settings;
  settings.Set("output", "/x.pdf");
  const std::vector<std::string> targets = {
      env_.Root() + "/missing-folder/settings.ini",  // folder missing
      env_.Root() + "/app",                          // a folder where the file should be
  };
  for (const auto& target : targets) {
    try {
      WriteConfig(target, settings);
      ADD_FAILURE() << "no error for " << target;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 1004);
      EXPECT_EQ(e.Source(), "WriteConfig");
      EXPECT_EQ(e.Description().rfind("Error writing settings file '" + target + "'. Error ", 0),
                0u) << e.Description();
    }
  }
}

TEST(GetConfigContentTest, OneSectionWithIndentedKeys) {
  Dictionary settings;
  settings.Set("output", "/a b/c.pdf");
  settings.Set("showpdf", "");
  EXPECT_EQ(GetConfigContent(settings), "[PDF Printer]\r\n  output=/a b/c.pdf\r\n  showpdf=\r\n");
}

TEST_F(SettingsStoreTest, UserSettingsRoundTrip) {
  const std::string file = env_.Root() + "/state/user.ini";
  ::mkdir((env_.Root() + "/state").c_str(), 0755);
  EXPECT_EQ(IniGetUserSetting(file, "User", "lastfilename", "fallback"), "fallback");
  EXPECT_TRUE(IniSetUserSetting(file, "User", "lastfilename", "report.pdf"));
  EXPECT_TRUE(IniSetUserSetting(file, "User", "lastfoldername", "/home/u/out/"));
  EXPECT_TRUE(IniSetUserSetting(file, "", "loose", "value"));
  EXPECT_EQ(IniGetUserSetting(file, "User", "lastfilename", "x"), "report.pdf");
  EXPECT_EQ(IniGetUserSetting(file, "User", "LastFileName", "x"), "x");  // exact key
  EXPECT_EQ(IniGetUserSetting(file, "user", "lastfilename", "x"), "x");  // exact section
  EXPECT_EQ(IniGetUserSetting(file, "Other", "lastfilename", "x"), "x");
  EXPECT_EQ(env_.Read(file),
            "loose=value\r\n[User]\r\n  lastfilename=report.pdf\r\n"
            "  lastfoldername=/home/u/out/\r\n");
  // A loose value of the section's name gives way to the section.
  EXPECT_TRUE(IniSetUserSetting(file, "loose", "k", "v"));
  EXPECT_EQ(IniGetUserSetting(file, "loose", "k", ""), "v");

  EXPECT_FALSE(IniSetUserSetting(env_.Root() + "/no-such-folder/user.ini", "User", "k", "v"));
}

TEST_F(SettingsStoreTest, UnreadableUserStateFileRaises1002) {
  const std::string file = env_.Root() + "/user-folder";
  ASSERT_EQ(::mkdir(file.c_str(), 0755), 0);
  for (const std::string operation : {"IniGetUserSetting", "IniSetUserSetting"}) {
    try {
      if (operation == "IniGetUserSetting") {
        IniGetUserSetting(file, "User", "k", "");
      } else {
        IniSetUserSetting(file, "User", "k", "v");
      }
      ADD_FAILURE() << "no error from " << operation;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 1002);
      EXPECT_EQ(e.Source(), operation);
      EXPECT_EQ(e.Description().rfind("Unable to load user settings (" + file + "). Error 75: ", 0),
                0u) << e.Description();
    }
  }
  EXPECT_NE(env_.Log().find("Unable to load user settings (" + file + ")"), std::string::npos);
}

TEST_F(SettingsStoreTest, UserSettingOfAPrinterLivesInItsUserFile) {
  EXPECT_EQ(UserSettingsFile("Nimbra_Creator[Invoices]"),
            Data("user@Nimbra_Creator[Invoices].ini"));
  EXPECT_TRUE(SetUserSetting("Nimbra_Creator[Invoices]", "lastfilename", "a.pdf"));
  EXPECT_EQ(GetUserSetting("Nimbra_Creator[Invoices]", "lastfilename", ""), "a.pdf");
  EXPECT_EQ(GetUserSetting(kPrinter, "lastfilename", "none"), "none");
  EXPECT_EQ(IniGetUserSetting(Data("user@Nimbra_Creator[Invoices].ini"), "User", "lastfilename",
                              ""),
            "a.pdf");
}

// Two programs saving the same user state file at the same time: every read sees a complete
// file, and the file stays valid; the last save wins.
TEST_F(SettingsStoreTest, ConcurrentWritersNeverTearTheUserStateFile) {
  const std::string file = Data("user@Nimbra_Creator.ini");
  const std::string padding(4000, 'x');
  auto valueOf = [&](char writer, int i) {
    return std::string(1, writer) + std::to_string(i) + padding;
  };
  std::vector<pid_t> writers;
  for (char writer : {'a', 'b'}) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < 200; ++i) ok = IniSetUserSetting(file, "User", "lastfilename", valueOf(writer, i)) && ok;
      ::_exit(ok ? 0 : 1);
    }
    writers.push_back(pid);
  }
  int reads = 0;
  bool running = true;
  while (running) {
    const std::string value = IniGetUserSetting(file, "User", "lastfilename", "");
    // Once written, the file is never seen empty or missing (a writer that truncates first
    // would show that).
    ASSERT_FALSE(value.empty() && reads > 0) << "file seen empty after " << reads << " reads: " << SettingsTestEnvironment::Read(file).size();
    if (!value.empty()) {
      ++reads;
      ASSERT_TRUE(value.size() > padding.size() && (value[0] == 'a' || value[0] == 'b') &&
                  value.compare(value.size() - padding.size(), padding.size(), padding) == 0)
          << "torn value of size " << value.size();
    }
    int status = 0;
    running = false;
    for (pid_t pid : writers) {
      if (::waitpid(pid, &status, WNOHANG) == 0) running = true;
    }
  }
  for (pid_t pid : writers) {
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
  IniFile ini;
  ASSERT_TRUE(ini.Load(file));
  const std::string last = ini.data()->Section("User")->Item("lastfilename");
  EXPECT_TRUE(last == valueOf('a', 199) || last == valueOf('b', 199)) << last.substr(0, 8);
  EXPECT_EQ(ini.data()->Count(), 1u);
}

TEST_F(SettingsStoreTest, MigrationRenamesOldInstanceFiles) {
  const std::string printer = "Nimbra_Creator[Invoices]";
  env_.Write(Data("settings-Invoices.ini"), Section("  output=/old.pdf\r\n"));
  env_.Write(Data("runonce-Invoices.ini"), Section("  output=/once.pdf\r\n"));
  env_.Write(Data("user-Invoices.ini"), "[User]\r\n  lastfilename=old.pdf\r\n");
  env_.Write(Data("user@Nimbra_Creator[Invoices].ini"), "[User]\r\n  lastfilename=new.pdf\r\n");

  MigrateSettingsFiles(printer);

  EXPECT_FALSE(env_.Exists(Data("settings-Invoices.ini")));
  EXPECT_EQ(env_.Read(Data("settings@Nimbra_Creator[Invoices].ini")),
            Section("  output=/old.pdf\r\n"));
  EXPECT_FALSE(env_.Exists(Data("runonce-Invoices.ini")));
  EXPECT_TRUE(env_.Exists(Data("runonce@Nimbra_Creator[Invoices].ini")));
  // Both existed: the old one goes, the new one is kept as it was.
  EXPECT_FALSE(env_.Exists(Data("user-Invoices.ini")));
  EXPECT_EQ(GetUserSetting(printer, "lastfilename", ""), "new.pdf");
}

TEST_F(SettingsStoreTest, MigrationMovesPlainFilesToAPrinterWithoutInstance) {
  env_.Write(Data("settings.ini"), Section("  output=/plain.pdf\r\n"));
  MigrateSettingsFiles(kPrinter);
  EXPECT_FALSE(env_.Exists(Data("settings.ini")));
  std::string fileName;
  EXPECT_EQ(LoadConfig(kPrinter, false, fileName)->Item("output"), "/plain.pdf");

  // Without a printer name old and new names are the same: nothing moves.
  env_.Write(Data("settings.ini"), Section("  output=/plain.pdf\r\n"));
  MigrateSettingsFiles("");
  EXPECT_TRUE(env_.Exists(Data("settings.ini")));
}

TEST_F(SettingsStoreTest, MigrationFailureNamesTheStep) {
  env_.Write(Data("settings-Invoices.ini"), Section("  output=/old.pdf\r\n"));
  const std::string target = Data("settings@P[Invoices].ini");
  env_.Write(target + "/blocker", "");  // a non-empty folder stands where the file would go
  try {
    MigrateSettingsFiles("P[Invoices]");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Description(), "Error updating settings.ini. Source=" +
                                   Data("settings-Invoices.ini") + ", Destination=" + target +
                                   ", hint=Rename operation. Is a directory");
    EXPECT_EQ(e.Number(), 21);
  }
}

}  // namespace
}  // namespace nimbra
