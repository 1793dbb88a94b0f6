#include "gui/driver/show_document.h"

#include <gtest/gtest.h>

#include "tests/driver/delivery_support.h"
#include "tests/support/scratch_folder.h"

namespace nimbra {
namespace {

using delivery_test::DeliveryEnvironment;
using test_support::ScratchFolder;
using delivery_test::WaitingUserInterface;

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new DeliveryEnvironment);

struct MessageCase {
  const char* label;
  const char* path;
  ShellOpenStatus status;
  const char* expected;
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.label; }

class ShowDocumentMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ShowDocumentMessageTest, SaysWhatWentWrong) {
  const MessageCase& c = GetParam();
  EXPECT_EQ(ShowDocumentMessage(c.path, c.status), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Results, ShowDocumentMessageTest,
    ::testing::Values(
        MessageCase{"opened", "/o/x.pdf", ShellOpenStatus::kOpened, ""},
        // No application for a name that is not a PDF: the name is the likely cause.
        MessageCase{"not_pdf", "/o/x.ps", ShellOpenStatus::kNoAssociation,
                    "The program was unable to show the document. The extension of your "
                    "document file name should be PDF. Please change that and try again.\n\n"
                    "File name: /o/x.ps"},
        // No application for a PDF (any case of the extension): a reader is missing.
        MessageCase{"pdf_any_case", "/o/x.PdF", ShellOpenStatus::kNoAssociation,
                    "The printer was unable to open the PDF document.\n\nMake sure you have a "
                    "PDF document reader installed on your computer.\n\nFree PDF readers can be "
                    "installed from your system's software centre or package manager."},
        MessageCase{"failed", "/o/x.pdf", ShellOpenStatus::kFailed,
                    "Error opening the PDF Document.\n\nThe desktop could not open '/o/x.pdf' "
                    "with its default application."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ShowDocument, OpenedDocumentShowsNoMessage) {
  WaitingUserInterface ui;
  std::string opened;
  ShowDocument("/o/x.pdf", ui, [&](std::string_view path) {
    opened = path;
    return ShellOpenStatus::kOpened;
  });
  EXPECT_EQ(opened, "/o/x.pdf");
  EXPECT_TRUE(ui.messages.empty());
}

TEST(ShowDocument, FailureIsShownWithTheExclamationIconAndNeverThrows) {
  WaitingUserInterface ui;
  ShowDocument("/o/x.txt", ui, [](std::string_view) { return ShellOpenStatus::kNoAssociation; });
  ShowDocument("/o/y.pdf", ui, [](std::string_view) -> ShellOpenStatus {
    throw std::runtime_error("opener broke");
  });
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_NE(ui.messages[0].text.find("File name: /o/x.txt"), std::string::npos);
  EXPECT_EQ(ui.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(ui.messages[0].buttons, MessageButtons::kOk);
  EXPECT_EQ(ui.messages[1].text.rfind("Error opening the PDF Document.", 0), 0u);
}

TEST(ShowDocument, RealOpenerOfAMissingFileReportsTheFailure) {
  // xdg-open refuses a file that does not exist without starting anything.
  ScratchFolder dir;
  WaitingUserInterface ui;
  ShowDocument(dir / "missing.pdf", ui);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, ShowDocumentMessage(dir / "missing.pdf", ShellOpenStatus::kFailed));
}

}  // namespace
}  // namespace nimbra
