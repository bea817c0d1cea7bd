// SPDX-License-Identifier: MIT
// The fault plan as the host's operations, the text files and operator new
// meet it: the nth call of the armed kind fails, once or from then on, with
// the armed status; other kinds and other sizes go through; every call is
// counted and shown to the observer.
#include "tests/fault_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/text_file.h"
#include "tests/conduit_fixture.h"

namespace kestrel::testing {
namespace {

using FaultPlanTest = ConduitTest;

TEST_F(FaultPlanTest, FailsTheNthHostCallOnceOrFromThenOn) {
  AddDatabase("A");
  host::AttachScope attached(handheld);
  FailCall(host::Operation::Open, 2, 0x1234);
  std::uint8_t handle = 0;
  EXPECT_EQ(OpenDatabase("A", 0, &handle, ModeReadWrite), StatusOk);
  EXPECT_FALSE(Faults().Fired());
  std::uint8_t second = 0;
  EXPECT_EQ(OpenDatabase("A", 0, &second, ModeReadWrite), 0x1234);
  EXPECT_EQ(second, 0);
  EXPECT_TRUE(Faults().Fired());
  EXPECT_EQ(OpenDatabase("A", 0, &second, ModeReadWrite), StatusOk);

  FailCall(host::Operation::Clear, 1, 0x55, /*persistent=*/true);
  EXPECT_EQ(ClearDatabase(handle), 0x55);
  EXPECT_EQ(ClearDatabase(handle), 0x55);
  EXPECT_EQ(Calls(host::Operation::Open), 3);
  EXPECT_EQ(Calls(host::Operation::Clear), 2);
  Faults().Clear();
  EXPECT_EQ(ClearDatabase(handle), StatusOk);
  CloseDatabase(handle);
  CloseDatabase(second);
  EXPECT_EQ(handheld.journal,
            std::vector<std::string>({"open A rw", "open A rw", "clear A", "close A", "close A"}));
}

TEST_F(FaultPlanTest, EveryCallIsShownToTheObserver) {
  AddDatabase("A");
  std::vector<std::string> seen;
  Faults().Observe([&](const CallEvent& e) {
    seen.push_back(std::string(FaultKindName(e.kind)) + " " + std::string(e.subject) + " " +
                   std::to_string(e.detail));
  });
  {
    host::AttachScope attached(handheld);
    std::uint8_t handle = 0;
    ASSERT_EQ(OpenDatabase("A", 0, &handle, ModeRead), StatusOk);
    CloseDatabase(handle);
    LogMessage("text", LogText, 0);
  }
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, FilePath("a.csv").string()), 0);
  EXPECT_EQ(file.Write("ab"), 0);
  EXPECT_EQ(file.Close(), 0);
  Faults().Observe(nullptr);
  EXPECT_EQ(seen, std::vector<std::string>({"OpenDatabase A 128", "CloseDatabase A 0",
                                            "LogMessage text -1",
                                            "file open " + FilePath("a.csv").string() + " 0",
                                            "file write ab 0", "file close  0", "file rename  0"}));
}

TEST_F(FaultPlanTest, FailsTheNthAllocationOfASize) {
  FailAllocation(24, 2);
  auto first = std::make_unique<char[]>(24);
  auto other = std::make_unique<char[]>(25);
  EXPECT_FALSE(Faults().Fired());
  EXPECT_THROW((void)std::make_unique<char[]>(24), std::bad_alloc);
  EXPECT_TRUE(Faults().Fired());
  EXPECT_NE(std::make_unique<char[]>(24), nullptr);  // spent
}

}  // namespace
}  // namespace kestrel::testing
