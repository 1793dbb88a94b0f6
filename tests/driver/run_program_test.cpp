#include "gui/driver/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cctype>
#include <thread>

#include "platform/error.h"
#include "platform/files.h"
#include "tests/driver/delivery_support.h"
#include "tests/support/scratch_folder.h"

namespace nimbra {
namespace {

using delivery_test::PathExists;
using test_support::ReadFileBytes;
using test_support::ScratchFolder;

// Waits (bounded) for a started program to finish writing `path`, which it does last by
// renaming a finished file into place.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 1000 && !PathExists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return PathExists(path) ? ReadFileBytes(path) : "<never written>";
}

// True once the process is gone entirely: ended and reaped (a zombie still has its /proc entry).
bool WaitUntilReaped(pid_t pid) {
  const std::string entry = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 1000; ++i) {
    if (!PathExists(entry)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class RunProgramTest : public ::testing::Test {
 protected:
  // A command that writes each of its arguments on a line of `out`, then moves it into place.
  std::string PrintArguments(const std::string& arguments) const {
    return "printf '[%s]\\n' " + arguments + " > " + out + ".tmp && mv " + out + ".tmp " + out;
  }
  ScratchFolder dir;
  std::string out = dir / "out.txt";
};

struct ArgumentCase {
  const char* label;
  const char* arguments;   // how the configured command writes the marks
  const char* outputFile;
  const char* expected;    // what the program receives, one "[arg]" per line
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.label; }

class ProgramArgumentsTest : public RunProgramTest,
                             public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(ProgramArgumentsTest, ProgramReceivesTheValues) {
  const ArgumentCase& c = GetParam();
  RunProgram(PrintArguments(c.arguments), dir.Path(), c.outputFile, 12, 2);
  EXPECT_EQ(WaitForFile(out), c.expected) << c.arguments;
  // Nothing in a file name is ever run by the shell.
  EXPECT_FALSE(PathExists(dir / "pwned"));
}

INSTANTIATE_TEST_SUITE_P(
    Marks, ProgramArgumentsTest,
    ::testing::Values(
        ArgumentCase{"quoted", "\"%1\" %2 %3", "/home/u/a b/x.pdf",
                     "[/home/u/a b/x.pdf]\n[12]\n[2]\n"},
        // Unquoted, the name still stays one word.
        ArgumentCase{"unquoted", "%1", "/home/u/a b/x.pdf", "[/home/u/a b/x.pdf]\n"},
        ArgumentCase{"inside single quotes", "'file=%1;'", "/a b/x.pdf", "[file=/a b/x.pdf;]\n"},
        ArgumentCase{"inside double quotes", "\"file=%1 (%2 pages)\"", "/x.pdf",
                     "[file=/x.pdf (12 pages)]\n"},
        // Shell syntax in a document title reaches the program as text.
        ArgumentCase{"command substitution", "\"%1\"", "/d/$(touch pwned).pdf",
                     "[/d/$(touch pwned).pdf]\n"},
        ArgumentCase{"backquotes and quotes", "%1", "/d/`touch pwned`'\"x\".pdf",
                     "[/d/`touch pwned`'\"x\".pdf]\n"},
        // Marks inside the name are not replaced again.
        ArgumentCase{"mark in the name", "\"%1\" %2", "/d/report%20%3.pdf",
                     "[/d/report%20%3.pdf]\n[12]\n"},
        // An escaped mark is the shell's business.
        ArgumentCase{"escaped mark", "\\%1", "/x.pdf", "[%1]\n"},
        ArgumentCase{"no marks", "plain", "/x.pdf", "[plain]\n"}),
    [](const auto& info) {
      std::string name;
      for (char ch : std::string(info.param.label)) name += std::isalnum(ch) ? ch : '_';
      return name;
    });

TEST_F(RunProgramTest, RunsInItsWorkingFolderOrTheCurrentOne) {
  ::mkdir((dir / "work").c_str(), 0755);
  RunProgram("pwd > " + out, dir / "work", "", 0, 0);
  EXPECT_EQ(WaitForFile(out), dir / "work" + "\n");

  const std::string second = dir / "second.txt";
  RunProgram("pwd > " + second, "", "", 0, 0);
  EXPECT_EQ(WaitForFile(second), CurrentFolder() + "\n");
}

TEST_F(RunProgramTest, ReturnsWithoutWaitingAndLeavesNoZombie) {
  const std::string fifo = dir / "go";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The program blocks until the test writes to the pipe: RunProgram must return before that.
  pid_t pid = RunProgram("cat " + fifo + " > " + out + ".tmp && mv " + out + ".tmp " + out,
                         dir.Path(), "", 0, 0);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(::kill(pid, 0), 0) << "still running";
  EXPECT_FALSE(PathExists(out));

  // Open without blocking, so a program that never reads cannot hang the test.
  int fd = -1;
  for (int i = 0; i < 1000 && fd < 0; ++i) {
    fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(fd, 0) << "the program never opened the pipe";
  ASSERT_EQ(::write(fd, "done", 4), 4);
  ::close(fd);
  EXPECT_EQ(WaitForFile(out), "done");
  EXPECT_TRUE(WaitUntilReaped(pid)) << "process " << pid << " left behind";
}

TEST_F(RunProgramTest, MissingWorkingFolderRaisesError1000) {
  try {
    RunProgram("true", dir / "no-such-folder", "/x.pdf", 1, 1);
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kGeneral);
    EXPECT_EQ(e.Description(), "Error launching the command [true]");
  }
}

TEST_F(RunProgramTest, AProgramThatTheShellCannotFindIsNotAnError) {
  // The shell starts; what the program then does is not observed.
  pid_t pid = RunProgram("nimbra-no-such-program-here", dir.Path(), "", 0, 0);
  EXPECT_GT(pid, 0);
  EXPECT_TRUE(WaitUntilReaped(pid));
}

}  // namespace
}  // namespace nimbra
