#include "foundation/Log.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/UserDefaults.h"

namespace vantor {
namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::isolateHome();
    detail::resetLogStateForTesting();
  }
  void TearDown() override { detail::resetLogStateForTesting(); }
  test::TempFolder folder_;
};

TEST_F(LogTest, ConsoleColourByLevelAndWarningPrefix) {
  struct Case {
    std::uint8_t level;
    std::string message;
    std::string want;
  } cases[] = {
      {5, "WARNING: disk low", "\033[93mWARNING: disk low\033[0m\n"},
      {5, "warning disk low", "\033[93mwarning disk low\033[0m\n"},
      {3, "Warning: disk low", "\033[91mWarning: disk low\033[0m\n"},
      {0, "Info: x", "\033[91mInfo: x\033[0m\n"},
      {5, "warn: disk low", "warn: disk low\n"},
      {5, "Info: x", "Info: x\n"},
      {7, "warning", "\033[93mwarning\033[0m\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(detail::consoleLine(c.level, c.message), c.want) << c.message;

  test::StderrCapture err;
  cc_log("Info: %@ and %@", "one", std::optional<std::string>());
  EXPECT_EQ(err.text(), "Info: one and (null)\n");
}

TEST_F(LogTest, CaptureKeepsLevelsUpToItsOwn) {
  std::string file = folder_ / "capture.log";
  cc_log_enablecapturetofile(file, 0, 5);
  test::StderrCapture err;
  cc_log_level(5, "notice line");
  cc_log_level(6, "info line");
  cc_log_level(3, "error line");
  std::string text = test::readFile(file);
  EXPECT_NE(text.find("<Notice>: notice line\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("info line"), std::string::npos);
  EXPECT_NE(text.find("<Error>: error line\n"), std::string::npos);
  EXPECT_NE(text.find("  VantorInstallHelper["), std::string::npos);  // two blanks after the time
}

TEST_F(LogTest, CaptureTrimsToTheLastBytesThenAppends) {
  std::string file = folder_ / "capture.log";
  std::string old;
  for (int i = 0; i < 250; ++i) old += static_cast<char>('a' + i % 26);
  test::writeFile(file, old);
  cc_log_enablecapturetofile(file, 100, 5);
  EXPECT_EQ(test::readFile(file), old.substr(150));
  test::StderrCapture err;
  cc_log("appended");
  std::string text = test::readFile(file);
  EXPECT_EQ(text.substr(0, 100), old.substr(150));
  EXPECT_NE(text.find("appended\n", 100), std::string::npos);
}

TEST_F(LogTest, UnwritableCaptureFileLeavesCaptureOffWithOneMessage) {
  std::string locked = folder_ / "locked";
  ::mkdir(locked.c_str(), 0500);
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  test::StderrCapture err;
  cc_log_enablecapturetofile(locked + "/capture.log", 0, 5);
  cc_log("still on the console");
  std::string text = err.text();
  EXPECT_NE(text.find("could not open file " + locked + "/capture.log for log file usage"), std::string::npos);
  EXPECT_NE(text.find("still on the console"), std::string::npos);
}

TEST_F(LogTest, CaptureFileInAMissingFolderLeavesCaptureOff) {
  std::string missing = folder_ / "missing/capture.log";
  test::StderrCapture err;
  cc_log_enablecapturetofile(missing, 0, 5);
  cc_log("console only");
  EXPECT_NE(err.text().find("could not open file " + missing + " for log file usage"), std::string::npos);
}

TEST_F(LogTest, RingOfFortyThreeSlotsWraps) {
  auto& defaults = platform::UserDefaults::standard();
  for (int i = 0; i < 44; ++i) cc_log_toprefs("message " + std::to_string(i));
  auto slot0 = defaults.objectForKey("tessellib_logtoprefs_pos0");
  auto slot42 = defaults.objectForKey("tessellib_logtoprefs_pos42");
  ASSERT_TRUE(slot0 && slot42);
  EXPECT_NE(slot0->get<std::string>().find("message: message 43"), std::string::npos);  // the 44th call
  EXPECT_NE(slot42->get<std::string>().find("message: message 42"), std::string::npos);
  EXPECT_EQ(slot0->get<std::string>().rfind("date: ", 0), 0u);
  EXPECT_FALSE(defaults.objectForKey("tessellib_logtoprefs_pos43"));
}

}  // namespace
}  // namespace vantor
