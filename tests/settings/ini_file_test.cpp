#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes_support.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/other_user.h"

namespace nimbra {
namespace {

using test_support::ReadFileBytes;
using test_support::ScratchFolder;
using test_support::WriteFileBytes;

// A compact picture of a document: loose values "k=v;" first in order, then "[name]k=v;...".
// Sections are shown in their order too, so positions are checked.
std::string Picture(const Dictionary& dict) {
  std::string out;
  for (const auto& e : dict) {
    if (e.value.IsDictionary()) {
      out += "[" + e.key + "]";
      for (const auto& item : *e.value.Dict()) out += item.key + "=" + item.value.Text() + ";";
    } else {
      out += e.key + "=" + e.value.Text() + ";";
    }
  }
  return out;
}

class IniFileTest : public ::testing::Test {
 protected:
  std::string LoadPicture(const std::string& text) {
    WriteFileBytes(file_, text);
    IniFile ini;
    EXPECT_TRUE(ini.Load(file_)) << ini.LastErrorMessage();
    EXPECT_EQ(ini.LastError(), 0);
    return Picture(*ini.data());
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Path())) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }

  ScratchFolder dir_;
  std::string file_ = dir_ / "settings.ini";
};

struct ParseCase {
  const char* name;
  std::string text;
  std::string picture;
};

TEST_F(IniFileTest, ParsesLinesAsTheFormatDefines) {
  const std::vector<ParseCase> cases = {
      {"empty file", "", ""},
      {"blank and short lines only", "\r\n   \r\nab\r\n[]\r\nx=\r\n  \r\n", ""},
      {"header with blanks around and inside",
       "   [  PDF Printer  ]   \r\n  output = c:/x.pdf \r\n", "[PDF Printer]output=c:/x.pdf;"},
      {"section names are case-sensitive", "[PDF Printer]\r\na=1\r\n[pdf printer]\r\nb=2\r\n",
       "[PDF Printer]a=1;[pdf printer]b=2;"},
      {"blanks only between brackets give the empty name", "[   ]\r\nk=v\r\n", "[]k=v;"},
      {"second equals sign belongs to the value", "key = a = b \r\n", "key=a = b;"},
      {"line beginning with equals is skipped", "=value\r\n  = v\r\n", ""},
      {"one letter and equals is too short", "a=\r\n", ""},
      {"one letter, a blank and equals is a key", "a =\r\n", "a=;"},
      {"two characters count, not bytes", "\xC3\xA9=\r\n\xC3\xA9 =x\r\n", "\xC3\xA9=x;"},
      {"a tab before a key is part of the key", "\tkey=v\r\n", "\tkey=v;"},
      {"tabs around a value are kept", "k=\tv\t\r\n", "k=\tv\t;"},
      {"semicolon line with equals is a key", ";comment=1\r\n; just a comment\r\n", ";comment=1;"},
      {"quotes are ordinary characters", "k=\"a b\"\r\n", "k=\"a b\";"},
      {"repeated key replaces in place", "a=1\r\nb=2\r\na=3\r\n", "a=3;b=2;"},
      {"repeated section keeps only its last block, at its first place",
       "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[A]\r\nz=3\r\n", "[A]z=3;[B]y=2;"},
      {"section replaces a loose value of the same name", "A=1\r\nb=2\r\n[A]\r\nx=9\r\n",
       "[A]x=9;b=2;"},
      {"unclosed header without equals is ignored", "[abc\r\n[S]\r\nk=v\r\n", "[S]k=v;"},
      {"unclosed header with equals is a key", "[a=b\r\n", "[a=b;"},
      {"lone LF, lone CR, CR LF and no final line end", "a=1\nb=2\rc=3\r\nd=4",
       "a=1;b=2;c=3;d=4;"},
      {"empty lines between CR and LF variants", "a=1\n\n\r\r\n\r\nb=2\n", "a=1;b=2;"},
      {"UTF-8 byte-order mark before the first header", "\xEF\xBB\xBF[S]\r\nk=v\r\n", "[S]k=v;"},
      {"byte-order mark elsewhere is text", "a=\xEF\xBB\xBF\r\n", "a=\xEF\xBB\xBF;"},
      {"NUL bytes are text, not line ends", std::string("k=a\0b\r\n", 7),
       std::string("k=a\0b;", 6)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoadPicture(c.text), c.picture) << c.name;
  }
}

TEST_F(IniFileTest, FileOfNulBytesLoadsEmpty) {
  EXPECT_EQ(LoadPicture(std::string(4096, '\0')), "");
}

TEST_F(IniFileTest, LinesOfAnyLengthLoad) {
  // An "=" far beyond column 32767, and a 10 MB value.
  const std::string longKey(40000, 'k');
  const std::string hugeValue(10 * 1024 * 1024, 'v');
  WriteFileBytes(file_, longKey + "=1\r\n[S]\r\nbig=" + hugeValue + "\r\nafter=2\r\n");
  IniFile ini;
  ASSERT_TRUE(ini.Load(file_)) << ini.LastErrorMessage();
  EXPECT_EQ(ini.data()->Item(longKey), "1");
  auto section = ini.data()->Section("S");
  ASSERT_TRUE(section);
  EXPECT_EQ(section->Item("big").size(), hugeValue.size());
  EXPECT_EQ(section->Item("after"), "2");

  ASSERT_TRUE(ini.Save(file_)) << ini.LastErrorMessage();
  IniFile again;
  ASSERT_TRUE(again.Load(file_));
  EXPECT_EQ(again.data()->Section("S")->Item("big"), hugeValue);
}

TEST(IniDict2String, WritesLooseValuesFirstThenIndentedSections) {
  auto dict = Dictionary::New();
  auto printer = Dictionary::New();
  printer->Set("output", "/home/u/x.pdf");
  printer->Set("showpdf", "yes");
  auto empty = Dictionary::New();
  dict->Set("PDF Printer", printer);
  dict->Set("loose", "1");  // after a section in the dictionary, still written first
  dict->Set("Empty", empty);
  dict->Set("second", " keeps blanks ");
  EXPECT_EQ(IniFile::IniDict2String(*dict),
            "loose=1\r\nsecond= keeps blanks \r\n"
            "[PDF Printer]\r\n  output=/home/u/x.pdf\r\n  showpdf=yes\r\n"
            "[Empty]\r\n");
  EXPECT_EQ(IniFile::IniDict2String(Dictionary()), "");
}

TEST(IniDict2String, WritesLineBreaksInValuesAsTheyStand) {
  Dictionary dict;
  dict.Set("k", "a\r\nb");
  EXPECT_EQ(IniFile::IniDict2String(dict), "k=a\r\nb\r\n");
}

TEST_F(IniFileTest, SaveAndLoadGiveBackTheDocument) {
  IniFile ini;
  auto section = Dictionary::New();
  section->Set("output", "x.pdf");
  section->Set("showpdf", "no");
  ini.data()->Set("PDF Printer", section);
  ini.data()->Set("loose", "v");
  ini.data()->Set("padded", "  trimmed on load  ");
  ASSERT_TRUE(ini.Save(file_)) << ini.LastErrorMessage();
  EXPECT_EQ(ReadFileBytes(file_),
            "loose=v\r\npadded=  trimmed on load  \r\n[PDF Printer]\r\n  output=x.pdf\r\n"
            "  showpdf=no\r\n");

  IniFile loaded;
  ASSERT_TRUE(loaded.Load(file_));
  EXPECT_EQ(Picture(*loaded.data()), "loose=v;padded=trimmed on load;[PDF Printer]output=x.pdf;showpdf=no;");
}

TEST_F(IniFileTest, DataIsSharedNotCopied) {
  WriteFileBytes(file_, "[S]\r\na=1\r\n");
  IniFile ini;
  ASSERT_TRUE(ini.Load(file_));
  DictionaryPtr held = ini.data();
  held->Section("S")->Set("b", "2");
  ASSERT_TRUE(ini.Save(file_));
  EXPECT_EQ(ReadFileBytes(file_), "[S]\r\n  a=1\r\n  b=2\r\n");

  auto mine = Dictionary::New();
  ini.set_data(mine);
  mine->Set("late", "yes");  // changed after handing it over
  EXPECT_EQ(ini.data(), mine);
  ASSERT_TRUE(ini.Save(file_));
  EXPECT_EQ(ReadFileBytes(file_), "late=yes\r\n");
}

TEST_F(IniFileTest, SaveAfterResetWritesAnEmptyFile) {
  WriteFileBytes(file_, "a=1\r\n");
  IniFile ini;
  ASSERT_TRUE(ini.Load(file_));
  ini.Reset();
  EXPECT_TRUE(ini.data()->Empty());
  ASSERT_TRUE(ini.Save(file_));
  EXPECT_EQ(ReadFileBytes(file_), "");
}

TEST_F(IniFileTest, FailedLoadLeavesAnEmptyDocumentAndTheError) {
  struct Case {
    const char* name;
    std::string path;
    long error;
  };
  std::filesystem::create_directory(dir_ / "folder.ini");
  const std::vector<Case> cases = {
      {"missing file", dir_ / "missing.ini", 53},
      {"missing folder", dir_ / "nowhere/x.ini", 53},
      {"folder instead of a file", dir_ / "folder.ini", 75},
  };
  for (const auto& c : cases) {
    IniFile ini;
    ini.data()->Set("previous", "content");
    EXPECT_FALSE(ini.Load(c.path)) << c.name;
    EXPECT_EQ(ini.LastError(), c.error) << c.name;
    EXPECT_NE(ini.LastErrorMessage().find(c.path), std::string::npos) << ini.LastErrorMessage();
    EXPECT_TRUE(ini.data()->Empty()) << c.name;

    // The next successful operation clears the error.
    WriteFileBytes(file_, "a=1\r\n");
    EXPECT_TRUE(ini.Load(file_));
    EXPECT_EQ(ini.LastError(), 0);
    EXPECT_EQ(ini.LastErrorMessage(), "");
  }
}

TEST_F(IniFileTest, FailedSaveReportsTheErrorAndLeavesNoTemporaryFile) {
  std::filesystem::create_directory(dir_ / "folder.ini");
  IniFile ini;
  ini.data()->Set("a", "1");
  EXPECT_FALSE(ini.Save(dir_ / "nowhere/x.ini"));
  EXPECT_EQ(ini.LastError(), 53);
  EXPECT_FALSE(ini.Save(dir_ / "folder.ini"));
  EXPECT_EQ(ini.LastError(), 75);
  EXPECT_FALSE(ini.LastErrorMessage().empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder.ini"));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"folder.ini"});
}

TEST_F(IniFileTest, PermissionErrorsAreAccessErrors) {
  WriteFileBytes(file_, "a=1\r\n");
  ::chmod(file_.c_str(), 0600);
  ::chmod(dir_.Path().c_str(), 0755);  // others may enter, read nothing and write nothing
  const std::string file = file_;
  const std::string target = dir_ / "new.ini";
  int code = test_support::RunUnprivileged([&] {
    IniFile ini;
    if (ini.Load(file) || ini.LastError() != 75) return 1;
    ini.data()->Set("a", "2");
    if (ini.Save(target) || ini.LastError() != 75) return 2;
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFileBytes(file_), "a=1\r\n");
}

TEST_F(IniFileTest, SaveReplacesTheFileAndKeepsItsMode) {
  WriteFileBytes(file_, std::string(1000, 'x'));
  ::chmod(file_.c_str(), 0640);
  IniFile ini;
  ini.data()->Set("a", "1");
  ASSERT_TRUE(ini.Save(file_)) << ini.LastErrorMessage();
  EXPECT_EQ(ReadFileBytes(file_), "a=1\r\n");
  EXPECT_EQ(scratch::LStat(file_).st_mode & 07777, 0640u);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"settings.ini"});

  // A new file gets the mode the umask gives.
  mode_t mask = ::umask(022);
  ::umask(mask);
  const std::string fresh = dir_ / "fresh.ini";
  ASSERT_TRUE(ini.Save(fresh));
  EXPECT_EQ(scratch::LStat(fresh).st_mode & 07777, 0666u & ~mask);
}

TEST_F(IniFileTest, SaveAsRootKeepsTheFilesOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  auto [nobody, nogroup] = test_support::NobodyIds();
  WriteFileBytes(file_, "a=1\r\n");
  ASSERT_EQ(::chown(file_.c_str(), nobody, nogroup), 0);
  IniFile ini;
  ini.data()->Set("a", "2");
  ASSERT_TRUE(ini.Save(file_)) << ini.LastErrorMessage();
  EXPECT_EQ(scratch::LStat(file_).st_uid, nobody);
  EXPECT_EQ(scratch::LStat(file_).st_gid, nogroup);
}

TEST_F(IniFileTest, SaveThroughALinkUpdatesItsTarget) {
  std::filesystem::create_directory(dir_ / "real");
  const std::string real = dir_ / "real/settings.ini";
  WriteFileBytes(real, "a=1\r\n");
  const std::string link = dir_ / "link.ini";
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  IniFile ini;
  ini.data()->Set("a", "2");
  ASSERT_TRUE(ini.Save(link)) << ini.LastErrorMessage();
  EXPECT_TRUE(S_ISLNK(scratch::LStat(link).st_mode));
  EXPECT_EQ(ReadFileBytes(real), "a=2\r\n");
}

// Two processes save different documents into the same file as fast as they can while a third
// reads it: every read must give one of the two documents whole.
TEST_F(IniFileTest, ConcurrentSavesNeverLeaveATornFile) {
  auto document = [](char tag) {
    auto dict = Dictionary::New();
    auto section = Dictionary::New();
    for (int i = 0; i < 2000; ++i) section->Set("key" + std::to_string(i), std::string(20, tag));
    dict->Set("PDF Printer", section);
    return dict;
  };
  const std::string textA = IniFile::IniDict2String(*document('a'));
  const std::string textB = IniFile::IniDict2String(*document('b'));
  WriteFileBytes(file_, textA);

  std::vector<pid_t> writers;
  for (char tag : {'a', 'b'}) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      IniFile ini;
      ini.set_data(document(tag));
      for (int i = 0; i < 60; ++i) {
        if (!ini.Save(file_)) ::_exit(1);
      }
      ::_exit(0);
    }
    writers.push_back(pid);
  }
  int reads = 0;
  int bad = 0;
  std::vector<int> exitCodes(writers.size(), -1);
  for (bool running = true; running;) {
    std::string text = ReadFileBytes(file_);
    ++reads;
    if (text != textA && text != textB) ++bad;
    running = false;
    for (std::size_t i = 0; i < writers.size(); ++i) {
      if (exitCodes[i] != -1) continue;
      int status = 0;
      if (::waitpid(writers[i], &status, WNOHANG) == writers[i]) {
        exitCodes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : 99;
      } else {
        running = true;
      }
    }
  }
  EXPECT_EQ(exitCodes, std::vector<int>({0, 0}));
  EXPECT_EQ(bad, 0) << "of " << reads << " reads";
  IniFile result;
  ASSERT_TRUE(result.Load(file_));
  EXPECT_EQ(result.data()->Section("PDF Printer")->Count(), 2000u);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"settings.ini"});
}

}  // namespace
}  // namespace nimbra
