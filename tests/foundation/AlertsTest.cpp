#include "foundation/Alerts.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "foundation/UserDefaultsHelpers.h"
#include "platform/ScriptFrontEnd.h"

namespace vantor {
namespace {

// Alerts answered from a script, with the transcript and standard error kept.
class AlertsTest : public ::testing::Test {
 protected:
  void SetUp() override { test::isolateHome(); }
  void TearDown() override { platform::setFrontEnd(nullptr); }

  void answer(const std::string& lines) {
    test::writeFile(folder_ / "answers", lines);
    platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(folder_ / "answers", folder_ / "transcript"));
  }
  std::vector<nlohmann::json> transcript() { return test::readJsonLines(folder_ / "transcript"); }

  test::TempFolder folder_;
};

TEST_F(AlertsTest, ResultCountsOnlyTheButtonsShown) {
  answer("{\"button\":1000}\n{\"button\":1002}\n");
  EXPECT_EQ(alert("Title", "Message", std::nullopt, "Later", std::nullopt), 1000);
  EXPECT_EQ(alert("Title", "Message", "A", "B", "C"), 1002);
  EXPECT_EQ(alert("Title", "Message", std::nullopt), 1000);  // no answers left: the first button

  auto lines = transcript();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["buttons"], nlohmann::json::array({"Later"}));
  EXPECT_EQ(lines[0]["kind"], "alert");
  EXPECT_EQ(lines[0]["function"], "alert");
  EXPECT_EQ(lines[1]["result"], 1002);
  EXPECT_EQ(lines[2]["buttons"], nlohmann::json::array());
}

TEST_F(AlertsTest, LogsPromptWithoutNewlinesAndResult) {
  answer("{\"button\":1001}\n");
  test::StderrCapture err;
  EXPECT_EQ(alert("Two\nlines", "and\r\nmore", "OK", "Cancel"), 1001);
  std::string text = err.text();
  EXPECT_NE(text.find("Alert: Twolines - andmore"), std::string::npos) << text;
  EXPECT_NE(text.find("Alert: finished 1001"), std::string::npos) << text;
}

TEST_F(AlertsTest, AnswerNamingAButtonNotShownTakesTheFirst) {
  answer("{\"button\":1002}\n");
  EXPECT_EQ(alert("T", "M", "OK", "Cancel"), 1000);
}

TEST_F(AlertsTest, AccessoriesCarryTheirValuesBack) {
  answer("{\"button\":1001,\"checkbox\":1}\n"
         "{\"button\":1000,\"text\":\"typed\"}\n"
         "{\"button\":1000,\"text\":\"line one\\nline two\"}\n"
         "{\"button\":1000,\"selection\":1}\n"
         "{\"button\":1000,\"color\":[1,0.5,0,1]}\n");
  unsigned long state = 0;
  EXPECT_EQ(alert_checkbox("T", "M", {"A", "B", "C", "D"}, "Remember", &state), 1001);
  EXPECT_EQ(state, 1u);
  std::string input = "old";
  EXPECT_EQ(alert_input("Name?", {"OK"}, &input), 1000);
  EXPECT_EQ(input, "typed");
  std::string text;
  alert_inputtext("Notes", {"OK"}, &text);
  EXPECT_EQ(text, "line one\nline two");
  unsigned long index = 0;
  alert_selection_popup("Pick", {"a", "b", "c"}, {"OK"}, &index);
  EXPECT_EQ(index, 1u);
  Color color;
  alert_colorwell("Colour", {"OK"}, &color);
  EXPECT_EQ(color, (Color{1, 0.5, 0, 1}));

  auto lines = transcript();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0]["function"], "alert_checkbox");
  EXPECT_EQ(lines[0]["buttons"].size(), 3u);  // only the first three buttons
  EXPECT_EQ(lines[0]["checkbox"], 1);
  EXPECT_EQ(lines[1]["text"], "typed");
  EXPECT_EQ(lines[3]["selection"], 1);
}

TEST_F(AlertsTest, UnansweredAccessoriesKeepTheirValues) {
  answer("");
  unsigned long state = 1;
  alert_checkbox("T", "M", {"OK"}, "Remember", &state);
  EXPECT_EQ(state, 1u);
  std::string secret = "kept";
  alert_inputsecure("Password", {"OK"}, &secret);
  EXPECT_EQ(secret, "kept");
}

TEST_F(AlertsTest, SelectionMatrixShortensOnlyChoicesOver150Characters) {
  answer("");
  std::string exactly150(150, 'x');
  std::string long151 = std::string(70, 'a') + std::string(11, 'm') + std::string(70, 'z');
  unsigned long row = 5;
  alert_selection_matrix("Pick", {exactly150, long151}, {"OK"}, &row);
  EXPECT_EQ(row, 0u);  // the first row starts selected
  auto choices = transcript().at(0)["choices"];
  EXPECT_EQ(choices[0], exactly150);
  EXPECT_EQ(choices[1], std::string(70, 'a') + " […] " + std::string(70, 'z'));
}

TEST_F(AlertsTest, DontWarnAgainRemembersTheCheckbox) {
  answer("{\"button\":1000,\"checkbox\":1}\n");
  alert_dontwarnagain_ever("tip", "Tip", "Message", "OK", "Do not show again");
  EXPECT_EQ(defaultInt("_tip_asked"), 1);
  alert_dontwarnagain_ever("tip", "Tip", "Message", "OK", "Do not show again");
  auto lines = transcript();
  ASSERT_EQ(lines.size(), 1u);  // the second call showed nothing
  EXPECT_EQ(lines[0]["checkboxTitle"], "Do not show again");
}

TEST_F(AlertsTest, DontWarnAgainUnticked) {
  answer("{\"button\":1000,\"checkbox\":0}\n");
  alert_dontwarnagain_version("tip", "Tip", "Message", "OK", "Do not show again");
  alert_dontwarnagain_version("tip", "Tip", "Message", "OK", "Do not show again");
  EXPECT_EQ(transcript().size(), 2u);
}

}  // namespace
}  // namespace vantor
