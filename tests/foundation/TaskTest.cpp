#include "foundation/Task.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace vantor {
namespace {

TEST(TaskTest, ChattyChildDoesNotBlockOnAFullPipe) {
  for (bool polling : {false, true}) {
    int status = -1;
    TaskOptions options;
    options.usePolling = polling;
    // Far more than a pipe holds, on both output and error.
    auto output = runAsTaskWithTerminationStatus(
        {"/bin/sh", "-c", "head -c 3000000 /dev/zero | tr '\\0' x; head -c 500000 /dev/zero | tr '\\0' y >&2; exit 3"},
        &status, options);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->size(), 3500000u);
    EXPECT_EQ(status, 3);
  }
}

TEST(TaskTest, LongArgumentListIsWarnedAboutAndStillRuns) {
  // Two arguments: the system caps a single one at 128 KB.
  std::string first(100000, 'a');
  std::string second(200001 - 100000 - std::string("/bin/echo").size(), 'b');
  test::StderrCapture err;
  auto output = runAsTask({"/bin/echo", first, second});
  EXPECT_NE(err.text().find("Error: task argument size approaching or above limit, spawn will fail"),
            std::string::npos);
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, first + " " + second + "\n");

  test::StderrCapture quiet;
  runAsTask({"/bin/echo", first, second.substr(1)});  // 200000 in all: no warning
  EXPECT_EQ(quiet.text().find("approaching"), std::string::npos);
}

TEST(TaskTest, ToolThatCanNotLaunchGivesNothing) {
  test::StderrCapture err;
  EXPECT_FALSE(runAsTask({"/nonexistent/tool", "x"}));
  EXPECT_NE(err.text().find("Error: got exception"), std::string::npos);
}

}  // namespace
}  // namespace vantor
