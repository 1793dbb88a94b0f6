#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/error.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/env_guard.h"

namespace nimbra {
namespace {

using test_support::ScopedEnv;
using test_support::ScratchFolder;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

constexpr const char* kSettingsKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings";

const char* const kSample =
    "; installation registry\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings]\n"
    "\"AppFolder\"=\"/usr/lib/nimbra-creator\"\n"
    "\"LogFolder\" = \"/var/log/nimbra\"\n"
    "@=\"the default\"\n"
    "\"Quoted\"=\"C:\\\\x \\\"q\\\"\"\n"
    "\"Lines\"=\"one\\ntwo\"\n"
    "\"Count\"=dword:0000000a\n"
    "\n"
    "[HKLM\\Software\\Alias]\n"
    "\"v\"=\"from alias header\"\n"
    "[HKEY_LOCAL_MACHINE]\n"
    "\"RootValue\"=\"at the root\"\n"
    "[HKEY_CLASSES_ROOT\\tvpdf29.PDFPrinterSettings\\CLSID]\n"
    "@=\"{1234}\"\n";

class RegistryTest : public ::testing::Test {
 protected:
  std::string File() const { return dir_ / "etc/registry.reg"; }
  void Write(const std::string& text) {
    std::filesystem::create_directories(dir_ / "etc");
    WriteFileBytes(File(), text);
  }
  ScratchFolder dir_;
  ScopedEnv env_{"NIMBRA_REGISTRY", dir_ / "etc/registry.reg"};
};

TEST_F(RegistryTest, ReadsValuesByFullPath) {
  Write(kSample);
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\AppFolder",
       "/usr/lib/nimbra-creator"},
      {"hklm\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\AppFolder", "/usr/lib/nimbra-creator"},
      {"HKLM\\software\\VARNELL INC.\\pdf printer\\settings\\appfolder", "/usr/lib/nimbra-creator"},
      {"HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\LogFolder", "/var/log/nimbra"},
      {"HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\", "the default"},
      {"HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\Quoted", "C:\\x \"q\""},
      {"HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\Lines", "one\ntwo"},
      {"HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\Count", "10"},
      {"HKEY_LOCAL_MACHINE\\Software\\Alias\\v", "from alias header"},
      {"HKLM\\RootValue", "at the root"},
      {"HKCR\\tvpdf29.PDFPrinterSettings\\CLSID\\", "{1234}"},
      {"HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\Missing", std::nullopt},
      {"HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Other\\AppFolder", std::nullopt},
      {"HKCU\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\AppFolder", std::nullopt},
      {"HKXX\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings\\AppFolder", std::nullopt},
      {"AppFolder", std::nullopt},  // no backslash at all
      {"", std::nullopt},
      {"HKLM", std::nullopt},
  };
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(RegistryRead(path, true), expected) << path;
    EXPECT_EQ(RegistryRead(path, false), expected) << path;  // one file serves both views
  }
}

TEST_F(RegistryTest, MissingFileIsAnEmptyRegistry) {
  EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "\\AppFolder"), std::nullopt);
  EXPECT_TRUE(RegistryEnumValues(kSettingsKey).empty());
  EXPECT_TRUE(RegistryEnumKeys("HKLM").empty());
  RegistryDeleteValue(kSettingsKey, "AppFolder");  // nothing to delete: no error
  EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(RegistryTest, DefaultPathWhenTheEnvironmentNamesNone) {
  ScopedEnv unset("NIMBRA_REGISTRY", std::nullopt);
  EXPECT_EQ(std::filesystem::path(RegistryFilePath()).filename(), "registry.reg");
  ScopedEnv set("NIMBRA_REGISTRY", "/x/y.reg");
  EXPECT_EQ(RegistryFilePath(), "/x/y.reg");
}

TEST_F(RegistryTest, WritesAndReadsBackEveryKindOfText) {
  const std::pair<const char*, std::string> values[] = {
      {"AppFolder", "/usr/lib/nimbra-creator"},
      {"Backslashes", "C:\\Program Files\\gs\\"},
      {"Quotes", "say \"hi\""},
      {"Breaks", "a\nb\r\nc"},
      {"Unicode", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"Brackets", "[not a key]"},
      {"Empty", ""},
      {"", "default value"},
      {"@", "a value named @"},
  };
  for (const auto& [name, value] : values) RegistryWriteValue(kSettingsKey, name, value);
  for (const auto& [name, value] : values) {
    EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "\\" + name), value) << name;
  }
  auto listed = RegistryEnumValues(kSettingsKey);
  ASSERT_EQ(listed.size(), std::size(values));
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].first, values[i].first);
    EXPECT_EQ(listed[i].second, values[i].second);
  }
  const std::string text = ReadFileBytes(File());
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings]\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"AppFolder\"=\"/usr/lib/nimbra-creator\"\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default value\"\n"), std::string::npos);
}

TEST_F(RegistryTest, OverwriteKeepsOneValueUnderTheFirstSpelling) {
  RegistryWriteValue("HKLM\\Software\\X", "Name", "1");
  RegistryWriteValue("hkey_local_machine\\SOFTWARE\\x", "NAME", "2");
  auto values = RegistryEnumValues("HKLM\\Software\\X");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0], (std::pair<std::string, std::string>{"Name", "2"}));
  EXPECT_EQ(RegistryEnumKeys("HKLM"), std::vector<std::string>{"Software"});
}

TEST_F(RegistryTest, WritersChangeOnlyWhatTheyAreAskedTo) {
  Write(kSample);
  RegistryWriteValue("HKLM\\Software\\New", "n", "v");
  const std::string after = ReadFileBytes(File());
  EXPECT_EQ(after.substr(0, std::string(kSample).size()), kSample);  // comments, dword, spacing
  EXPECT_EQ(after.substr(std::string(kSample).size()), "\n[HKEY_LOCAL_MACHINE\\Software\\New]\n\"n\"=\"v\"\n");

  RegistryWriteValue(kSettingsKey, "Added", "x");
  RegistryWriteValue(kSettingsKey, "AppFolder", "/opt/nimbra");
  const std::string changed = ReadFileBytes(File());
  EXPECT_NE(changed.find("\"AppFolder\"=\"/opt/nimbra\"\n\"LogFolder\" = \"/var/log/nimbra\"\n"),
            std::string::npos);
  // A new value comes after the last value of its key, before the blank line.
  EXPECT_NE(changed.find("\"Count\"=dword:0000000a\n\"Added\"=\"x\"\n\n"), std::string::npos);
  EXPECT_NE(changed.find("; installation registry\n"), std::string::npos);
}

TEST_F(RegistryTest, DeleteValueAndKey) {
  Write(kSample);
  RegistryWriteValue(kSettingsKey + std::string("\\Sub"), "a", "1");
  RegistryWriteValue(kSettingsKey + std::string("\\Sub\\Deeper"), "b", "2");
  RegistryWriteValue(kSettingsKey + std::string("2"), "sibling", "3");  // shares a prefix only

  RegistryDeleteValue(kSettingsKey, "logfolder");
  EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "\\LogFolder"), std::nullopt);
  EXPECT_TRUE(RegistryRead(std::string(kSettingsKey) + "\\AppFolder"));
  EXPECT_EQ(RegistryEnumKeys("HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer"),
            (std::vector<std::string>{"Settings", "Settings2"}));
  EXPECT_EQ(RegistryEnumKeys(kSettingsKey), std::vector<std::string>{"Sub"});

  RegistryDeleteKey(kSettingsKey);
  EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "\\AppFolder"), std::nullopt);
  EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "\\Sub\\a"), std::nullopt);
  EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "\\Sub\\Deeper\\b"), std::nullopt);
  EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "2\\sibling"), "3");
  EXPECT_EQ(RegistryRead("HKLM\\Software\\Alias\\v"), "from alias header");
  RegistryDeleteKey(kSettingsKey);  // already gone: no error
}

TEST_F(RegistryTest, WritersRejectBadKeyPaths) {
  for (const char* key : {"", "Software\\X", "HKXX\\Software", "HKLM\\Bad\nKey"}) {
    try {
      RegistryWriteValue(key, "n", "v");
      ADD_FAILURE() << "accepted [" << key << "]";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 1000);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(RegistryTest, KeepsTheFilesModeAndLeavesNoTemporaryFiles) {
  Write(kSample);
  ::chmod(File().c_str(), 0640);
  for (int i = 0; i < 5; ++i) RegistryWriteValue(kSettingsKey, "n" + std::to_string(i), "v");
  struct stat st {};
  ASSERT_EQ(::stat(File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "etc")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryTest, FailedWriteIsAnErrorAndChangesNothing) {
  std::filesystem::create_directories(File());  // a folder where the file should be
  EXPECT_THROW(RegistryWriteValue(kSettingsKey, "n", "v"), Error);
  EXPECT_TRUE(std::filesystem::is_directory(File()));
  EXPECT_EQ(RegistryRead(std::string(kSettingsKey) + "\\n"), std::nullopt);
}

TEST_F(RegistryTest, MalformedFilesAreReadAsFarAsTheyMakeSense) {
  const std::string garbage("\x00\xff\xfe[\x01]\"=\n", 9);
  const std::string malformed =
      "\"Orphan\"=\"before any key\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings]\n"
      "\"Good\"=\"yes\"\n"
      "\"Unterminated=\"x\n"
      "\"NoValue\"=\n"
      "\"Unquoted\"=plain\n"
      "\"BadDword\"=dword:xyz\n"
      "\"TooLongDword\"=dword:123456789\n"
      "\"Trailing\"=\"a\" junk\n"
      "=\"no name\"\n"
      "[Unclosed key\n" +
      garbage + std::string(100000, 'z') + "\n" +
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings]\n"
      "[NOROOT\\Key]\n"
      "\"Lost\"=\"under an unknown root\"\n"
      "[]\n"
      "[HKLM\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings]\n"
      "\"Later\"=\"second section of the same key\"\n"
      "\"Good\"=\"the later one wins\"\n"
      "\"Crlf\"=\"windows line end\"\r\n";
  Write(malformed);
  const std::string key = kSettingsKey;
  EXPECT_EQ(RegistryRead(key + "\\Good"), "the later one wins");
  EXPECT_EQ(RegistryRead(key + "\\Later"), "second section of the same key");
  EXPECT_EQ(RegistryRead(key + "\\Crlf"), "windows line end");
  for (const char* name : {"Orphan", "Unterminated", "NoValue", "Unquoted", "BadDword",
                           "TooLongDword", "Trailing", ""}) {
    EXPECT_EQ(RegistryRead(key + "\\" + name), std::nullopt) << name;
  }
  EXPECT_EQ(RegistryEnumValues(key).size(), 3u);

  // A writer keeps every line it does not understand, byte for byte.
  RegistryWriteValue(key, "New", "n");
  const std::string after = ReadFileBytes(File());
  for (const std::string& line : {std::string("\"Orphan\"=\"before any key\""),
                                  std::string("\"Unterminated=\"x"), std::string("[Unclosed key"),
                                  garbage.substr(0, 8), std::string("\"Lost\"=\"under an unknown root\""),
                                  std::string(100000, 'z')}) {
    EXPECT_NE(after.find(line), std::string::npos) << line.substr(0, 40);
  }
  EXPECT_EQ(RegistryRead(key + "\\New"), "n");
  EXPECT_EQ(RegistryRead(key + "\\Good"), "the later one wins");
}

TEST_F(RegistryTest, ByteOrderMarkIsSkipped) {
  Write("\xEF\xBB\xBF[HKLM\\A]\n\"v\"=\"1\"\n");
  EXPECT_EQ(RegistryRead("HKLM\\A\\v"), "1");
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kProcesses = 4;
  constexpr int kThreads = 3;
  constexpr int kValuesEach = 15;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kValuesEach; ++i) {
        try {
          RegistryWriteValue(kSettingsKey, "p" + std::to_string(p) + "_" + std::to_string(i), "v");
        } catch (...) {
          ++failures;
        }
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  std::atomic<int> threadFailures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &threadFailures] {
      for (int i = 0; i < kValuesEach; ++i) {
        try {
          RegistryWriteValue(kSettingsKey, "t" + std::to_string(t) + "_" + std::to_string(i), "v");
        } catch (...) {
          ++threadFailures;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(threadFailures.load(), 0);
  EXPECT_EQ(RegistryEnumValues(kSettingsKey).size(),
            static_cast<std::size_t>((kProcesses + kThreads) * kValuesEach));
}

TEST_F(RegistryTest, ReadersNeverSeeAHalfWrittenFile) {
  RegistryWriteValue(kSettingsKey, "AppFolder", "/usr/lib/nimbra-creator");
  std::atomic<bool> done{false};
  std::atomic<int> misses{0};
  std::thread reader([&] {
    while (!done) {
      if (RegistryRead(std::string(kSettingsKey) + "\\AppFolder") != "/usr/lib/nimbra-creator") {
        ++misses;
      }
    }
  });
  for (int i = 0; i < 60; ++i) {
    RegistryWriteValue(kSettingsKey, "Counter", std::string(static_cast<std::size_t>(i) * 50, 'c'));
  }
  done = true;
  reader.join();
  EXPECT_EQ(misses.load(), 0);
}

}  // namespace
}  // namespace nimbra
