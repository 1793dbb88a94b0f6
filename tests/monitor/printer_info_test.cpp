// Printer lookups through a private CUPS spooler: the printers on the monitor's port and one
// printer's record.
#include <gtest/gtest.h>

#include "printers/printer_info.h"
#include "tests/monitor/cups_support.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using namespace test;

TEST(PrinterInfo, PrintersOnThePortAndTheirRecords) {
  if (!IsRoot()) GTEST_SKIP() << "a private cupsd with a root backend needs root";
  if (!Exists("/usr/sbin/cupsd")) GTEST_SKIP() << "cupsd is not installed";
  ScratchFolder scratch;
  TestRegistry registry(scratch);
  registry.SetPorts({"TVPDF29"});
  PrivateCups cups(scratch, std::string(NIMBRA_BINARY_DIR) + "/monitor/backend/tvpdf29",
                   scratch / "registry.reg");
  ASSERT_TRUE(cups.Ok()) << cups.ErrorLog();
  ScopedEnv server("CUPS_SERVER", cups.Socket().c_str());
  // A second queue on another device.
  ASSERT_EQ(Shell("CUPS_SERVER='" + cups.Socket() +
                  "' lpadmin -p Elsewhere -v tvpdf29:/SECOND -L Basement "
                  "-m drv:///sample.drv/generic.ppd -E >/dev/null 2>&1"),
            0);

  EXPECT_EQ(PrintersOnPort(PortDeviceUri("TVPDF29")), std::vector<std::string>{"Nimbra_Creator"});
  EXPECT_EQ(PrintersOnPort(PortDeviceUri("SECOND")), std::vector<std::string>{"Elsewhere"});
  EXPECT_EQ(PrintersOnPort("tvpdf29:/OTHER"), std::vector<std::string>{});

  CPrinterInfo ours("Nimbra_Creator");
  EXPECT_EQ(ours.GetPrinterError(), 0);
  EXPECT_EQ(ours.PrinterName(), "Nimbra_Creator");
  EXPECT_EQ(ours.PortName(), "tvpdf29:/TVPDF29");
  EXPECT_FALSE(ours.DriverName().empty());
  EXPECT_FALSE(ours.IsPaused());
  EXPECT_FALSE(ours.IsToFile());

  CPrinterInfo other;
  other.SetDeviceName("Elsewhere");
  EXPECT_EQ(other.PortName(), "tvpdf29:/SECOND");
  EXPECT_EQ(other.Location(), "Basement");
  ASSERT_EQ(Shell("CUPS_SERVER='" + cups.Socket() + "' cupsdisable Elsewhere"), 0);
  other.Refresh();
  EXPECT_TRUE(other.IsPaused());

  // An unknown printer: empty fields and the spooler's error.
  CPrinterInfo missing("NoSuchPrinter");
  EXPECT_NE(missing.GetPrinterError(), 0);
  EXPECT_EQ(missing.PortName(), "");
  // The name changes, the fields follow.
  missing.SetDeviceName("Nimbra_Creator");
  EXPECT_EQ(missing.GetPrinterError(), 0);
  EXPECT_EQ(missing.PortName(), "tvpdf29:/TVPDF29");
}

}  // namespace
}  // namespace nimbra
