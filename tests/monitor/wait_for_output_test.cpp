// WaitForOutput: wakes at each job hand-off and when the expected file appears, and gives up at
// its time-out.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "monitor/job_event.h"
#include "monitor/monitor.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;

class WaitForOutputTest : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
  ScopedEnv eventFolder_{"NIMBRA_EVENT_FOLDER", (scratch_ / "event").c_str()};
};

TEST_F(WaitForOutputTest, ExistingFileGivesOneAtOnce) {
  WriteAll(scratch_ / "out.pdf", "%PDF");
  EXPECT_EQ(WaitForOutput((scratch_ / "out.pdf").c_str(), 0), 1);
}

TEST_F(WaitForOutputTest, MissingFileGivesZeroAtTheTimeOut) {
  ASSERT_TRUE(CreateJobEvent());
  for (long timeout : {0L, 300L}) {
    const auto start = Clock::now();
    EXPECT_EQ(WaitForOutput((scratch_ / "none.pdf").c_str(), timeout), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(timeout));
  }
}

TEST_F(WaitForOutputTest, FileAppearingWhileWaitingGivesOneBeforeTheTimeOut) {
  for (bool eventExists : {true, false}) {
    SCOPED_TRACE(eventExists ? "with event" : "without event");
    ScopedEnv folder("NIMBRA_EVENT_FOLDER", (scratch_ / (eventExists ? "event" : "absent")).c_str());
    if (eventExists) {
      ASSERT_TRUE(CreateJobEvent());
    }
    const std::string out = scratch_ / (eventExists ? "a.pdf" : "b.pdf");
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      WriteAll(out, "%PDF");
      if (eventExists) PulseJobEvent();
    });
    const auto start = Clock::now();
    EXPECT_EQ(WaitForOutput(out.c_str(), 60000), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    writer.join();
  }
}

TEST_F(WaitForOutputTest, PulseWakesEveryWaiter) {
  ASSERT_TRUE(CreateJobEvent());
  JobEventWaiter first, second;
  ASSERT_TRUE(first.IsOpen());
  PulseJobEvent();
  EXPECT_TRUE(first.Wait(5000));
  EXPECT_TRUE(second.Wait(5000));
  // A pulse is not kept for someone who starts waiting later.
  JobEventWaiter late;
  EXPECT_FALSE(late.Wait(50));
}

}  // namespace
}  // namespace nimbra
