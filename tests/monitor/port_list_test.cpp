// The port list, its registry numbering and the port enumeration of the function table.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/monitor_log.h"
#include "monitor/port_list.h"
#include "platform/registry.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using test::ScratchFolder;
using test::TestRegistry;

class PortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MonitorAttach();
    ResetLogFileNameForTesting();
  }
  void TearDown() override { MonitorAttach(); }

  std::vector<std::string> Names(const CPortList& list) {
    std::vector<std::string> names;
    for (PortEntry* p = list.Head(); p && p->next; p = p->next) names.push_back(p->name);
    return names;
  }

  ScratchFolder scratch_;
  TestRegistry registry_{scratch_};
};

TEST_F(PortListTest, LoadStopsAtTheFirstGapAndKeepsReverseOrder) {
  registry_.SetPorts({"ONE", "TWO"});
  RegistryWriteValue(std::string("HKLM\\") + kPortsRegistryRoot, "4", "FOUR");
  CPortList list(kMonitorName, kPortDescription);
  list.LoadPorts(kPortsRegistryRoot);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"TWO", "ONE"}));
  EXPECT_EQ(list.PortCount(), 2u);
}

TEST_F(PortListTest, FindAndRemoveIgnoreLetterCaseAndNeverMatchTheSentinel) {
  CPortList list(nullptr, nullptr);
  EXPECT_EQ(list.MonitorName(), "");
  ASSERT_TRUE(list.AddPortEntry("TVPDF29", 0));
  EXPECT_EQ(list.FindPort("tvpdf29"), list.Head());
  EXPECT_EQ(list.FindPort(""), nullptr);
  EXPECT_FALSE(list.RemovePort(""));
  EXPECT_FALSE(list.RemovePort("other"));
  EXPECT_TRUE(list.RemovePort("TvPdf29"));
  EXPECT_EQ(list.PortCount(), 0u);
  EXPECT_EQ(list.Head()->name, "");
  EXPECT_EQ(list.Head()->next, nullptr);
}

TEST_F(PortListTest, SavePortsRenumbersWithoutGaps) {
  registry_.SetPorts({"A", "B", "C", "D"});
  CPortList list(kMonitorName, kPortDescription);
  list.LoadPorts(kPortsRegistryRoot);
  ASSERT_TRUE(list.RemovePort("A"));
  ASSERT_TRUE(list.RemovePort("C"));
  list.SavePorts(kPortsRegistryRoot);
  EXPECT_EQ(registry_.Port(1), "B");
  EXPECT_EQ(registry_.Port(2), "D");
  EXPECT_EQ(registry_.Port(3), std::nullopt);
  EXPECT_EQ(registry_.Port(4), std::nullopt);
}

// Enumeration sizes: each record plus its strings with their NULs.
struct EnumCase {
  uint32_t level;
  std::vector<std::string> ports;
};
void PrintTo(const EnumCase& c, std::ostream* out) {
  *out << "level " << c.level << ", " << c.ports.size() << " ports";
}

class EnumPortsTest : public PortListTest, public ::testing::WithParamInterface<EnumCase> {};

TEST_P(EnumPortsTest, ExactBufferSucceedsAndOneByteLessFails) {
  const EnumCase& c = GetParam();
  CPortList list(kMonitorName, kPortDescription);
  for (auto it = c.ports.rbegin(); it != c.ports.rend(); ++it) list.AddPortEntry(*it, 0);

  uint32_t expected = 0;
  for (const std::string& name : c.ports) {
    expected += c.level == 1 ? sizeof(PortInfo1) + name.size() + 1
                             : sizeof(PortInfo2) + name.size() + std::strlen(kMonitorName) +
                                   std::strlen(kPortDescription) + 3;
  }
  uint32_t needed = 0, returned = 99;
  EXPECT_FALSE(list.EnumeratePorts(c.level, nullptr, 0, &needed, &returned));
  EXPECT_EQ(MonitorLastError(), kErrorInsufficientBuffer);
  EXPECT_EQ(needed, expected);

  // One byte less: refused with the same needed size.
  std::vector<uint8_t> small(expected - 1);
  SetMonitorLastError(0);
  EXPECT_FALSE(list.EnumeratePorts(c.level, small.data(), expected - 1, &needed, &returned));
  EXPECT_EQ(MonitorLastError(), kErrorInsufficientBuffer);
  EXPECT_EQ(needed, expected);

  // Exactly large enough, with guard bytes around it that must stay untouched.
  std::vector<uint8_t> buffer(expected + 16, 0xAB);
  uint8_t* start = buffer.data() + 8;
  ASSERT_TRUE(list.EnumeratePorts(c.level, start, expected, &needed, &returned));
  EXPECT_EQ(returned, c.ports.size());
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(buffer[i], 0xAB);
    EXPECT_EQ(buffer[8 + expected + i], 0xAB);
  }
  for (std::size_t i = 0; i < c.ports.size(); ++i) {
    if (c.level == 1) {
      PortInfo1 info;
      std::memcpy(&info, start + i * sizeof info, sizeof info);
      EXPECT_STREQ(info.pName, c.ports[i].c_str());
    } else {
      PortInfo2 info;
      std::memcpy(&info, start + i * sizeof info, sizeof info);
      EXPECT_STREQ(info.pPortName, c.ports[i].c_str());
      EXPECT_STREQ(info.pMonitorName, kMonitorName);
      EXPECT_STREQ(info.pDescription, kPortDescription);
      EXPECT_EQ(info.fPortType, 0u);
      EXPECT_EQ(info.Reserved, 0u);
      // Strings lie inside the caller's buffer.
      EXPECT_GE(reinterpret_cast<uint8_t*>(info.pPortName), start);
      EXPECT_LT(reinterpret_cast<uint8_t*>(info.pMonitorName), start + expected);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, EnumPortsTest,
                         ::testing::Values(EnumCase{1, {"TVPDF29"}},
                                           EnumCase{1, {"A", "LONGER PORT", "Ü"}},
                                           EnumCase{2, {"TVPDF29"}},
                                           EnumCase{2, {"A", "LONGER PORT", "Ü"}}),
                         [](const ::testing::TestParamInfo<EnumCase>& info) {
                           return "Level" + std::to_string(info.param.level) + "With" +
                                  std::to_string(info.param.ports.size()) + "Ports";
                         });

TEST_F(PortListTest, UnknownLevelFailsOnlyWhenThereArePorts) {
  CPortList list(kMonitorName, kPortDescription);
  uint32_t needed = 1, returned = 1;
  EXPECT_TRUE(list.EnumeratePorts(3, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
  list.AddPortEntry("TVPDF29", 0);
  uint8_t buffer[8];
  EXPECT_FALSE(list.EnumeratePorts(3, buffer, sizeof buffer, &needed, &returned));
  EXPECT_EQ(MonitorLastError(), kErrorInvalidLevel);
}

TEST_F(PortListTest, TableHasFourteenSlotsWithTheAbsentOnesNull) {
  registry_.SetPorts({"TVPDF29"});
  MonitorEx* monitor = InitializePrintMonitor(kPortsRegistryRoot);
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(monitor->dwMonitorSize, 14 * sizeof(void*));
  const MonitorTable& t = monitor->Monitor;
  EXPECT_EQ(t.pfnOpenPortEx, nullptr);
  EXPECT_EQ(t.pfnGetPrinterDataFromPort, nullptr);
  EXPECT_EQ(t.pfnSetPortTimeOuts, nullptr);
  for (auto* slot : {reinterpret_cast<void*>(t.pfnEnumPorts), reinterpret_cast<void*>(t.pfnOpenPort),
                     reinterpret_cast<void*>(t.pfnStartDocPort), reinterpret_cast<void*>(t.pfnWritePort),
                     reinterpret_cast<void*>(t.pfnReadPort), reinterpret_cast<void*>(t.pfnEndDocPort),
                     reinterpret_cast<void*>(t.pfnClosePort), reinterpret_cast<void*>(t.pfnAddPort),
                     reinterpret_cast<void*>(t.pfnAddPortEx), reinterpret_cast<void*>(t.pfnConfigurePort),
                     reinterpret_cast<void*>(t.pfnDeletePort)}) {
    EXPECT_NE(slot, nullptr);
  }

  // OpenPort hands out the record of a known port only, and marks it open until ClosePort.
  PortHandle port = nullptr;
  EXPECT_FALSE(t.pfnOpenPort("NOPORT", &port));
  ASSERT_TRUE(t.pfnOpenPort("tvpdf29", &port));
  EXPECT_TRUE(static_cast<PortEntry*>(port)->flags & kPortOpen);
  EXPECT_TRUE(t.pfnClosePort(port));
  EXPECT_FALSE(static_cast<PortEntry*>(port)->flags & kPortOpen);

  // ReadPort has nothing to give and leaves its outputs alone.
  uint32_t read = 77;
  EXPECT_TRUE(t.pfnReadPort(port, nullptr, 0, &read));
  EXPECT_EQ(read, 77u);
}

TEST_F(PortListTest, DeletingTheMiddleOfThreePortsKeepsTheOthersInOrder) {
  registry_.SetPorts({"FIRST", "MIDDLE", "THIRD"});
  MonitorEx* monitor = InitializePrintMonitor(kPortsRegistryRoot);
  EXPECT_TRUE(monitor->Monitor.pfnDeletePort(nullptr, nullptr, "middle"));
  EXPECT_EQ(registry_.Port(1), "FIRST");
  EXPECT_EQ(registry_.Port(2), "THIRD");
  EXPECT_EQ(registry_.Port(3), std::nullopt);
  EXPECT_EQ(PortList()->PortCount(), 2u);
}

TEST_F(PortListTest, DeletingAnUnknownPortChangesNothingAndStillSucceeds) {
  registry_.SetPorts({"FIRST", "SECOND"});
  MonitorEx* monitor = InitializePrintMonitor(kPortsRegistryRoot);
  EXPECT_TRUE(monitor->Monitor.pfnDeletePort(nullptr, nullptr, "NONE"));
  EXPECT_EQ(registry_.Port(1), "FIRST");
  EXPECT_EQ(registry_.Port(2), "SECOND");
  EXPECT_EQ(PortList()->PortCount(), 2u);
}

TEST_F(PortListTest, EnumPortsThroughTheTableMatchesTheRegistry) {
  registry_.SetPorts({"P1", "P2"});
  MonitorEx* monitor = InitializePrintMonitor(kPortsRegistryRoot);
  uint32_t needed = 0, returned = 0;
  monitor->Monitor.pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
  std::vector<uint8_t> buffer(needed);
  ASSERT_TRUE(monitor->Monitor.pfnEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 2u);
  PortInfo1 first;
  std::memcpy(&first, buffer.data(), sizeof first);
  EXPECT_STREQ(first.pName, "P2");  // reverse registry order
}

}  // namespace
}  // namespace nimbra
