#include "platform/FrontEnd.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/RunLoop.h"
#include "platform/ScriptFrontEnd.h"
#include "platform/Workspace.h"

namespace vantor::platform {
namespace {

TEST(ScriptFrontEndTest, UnreadableAnswerLineStillCountsAsOneAlert) {
  test::TempFolder folder;
  test::writeFile(folder / "answers", "{\"button\":1001}\nnot json\n\n{\"button\":1001}\n");
  ScriptFrontEnd ui(folder / "answers", folder / "transcript");
  AlertRequest request;
  request.function = "alert";
  request.buttons = {"OK", "Cancel"};
  EXPECT_EQ(ui.runModalAlert(request).button, 1001);
  EXPECT_EQ(ui.runModalAlert(request).button, 1000);
  EXPECT_EQ(ui.runModalAlert(request).button, 1001);
}

TEST(ScriptFrontEndTest, TranscriptLinesFollowTheFixedShape) {
  test::TempFolder folder;
  test::writeFile(folder / "answers", "{\"folder\":\"/chosen\"}\n");
  ScriptFrontEnd ui(folder / "answers", folder / "transcript");
  AlertRequest request;
  request.function = "alert_checkbox";
  request.title = "T";
  request.buttons = {"OK"};
  request.accessory = AlertAccessory::Checkbox;
  request.checkboxTitle = "Box";
  ProgressUpdate progress;
  progress.percent = 42;
  progress.url = "https://example.test/a.zip";

  EXPECT_EQ(ui.chooseFolder({}), "/chosen");
  ui.runModalAlert(request);
  ui.updateProgress(progress);
  ui.recordWorkspaceEvent({{"kind", "workspace"}, {"action", "reveal"}, {"path", "/Applications/A.app"}});

  std::string text = test::readFile(folder / "transcript");
  auto lines = test::readJsonLines(folder / "transcript");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["kind"], "folder");
  // Keys keep the order of the documented shape.
  EXPECT_NE(text.find("{\"kind\":\"alert\",\"function\":\"alert_checkbox\",\"title\":\"T\",\"message\":null,"
                      "\"buttons\":[\"OK\"],\"checkboxTitle\":\"Box\",\"checkbox\":0,\"result\":1000}"),
            std::string::npos)
      << text;
  EXPECT_EQ(lines[2], (nlohmann::json{{"kind", "progress"}, {"percent", 42.0}, {"url", "https://example.test/a.zip"}}));
  EXPECT_EQ(lines[3], (nlohmann::json{{"kind", "workspace"}, {"action", "reveal"}, {"path", "/Applications/A.app"}}));
}

TEST(ScriptFrontEndTest, FolderPanelWithoutAnswerIsCancelled) {
  ScriptFrontEnd ui(std::nullopt, std::nullopt);
  EXPECT_EQ(ui.chooseFolder({}), std::nullopt);
}

TEST(FrontEndTest, LineCountOfText) {
  struct Case {
    std::string text;
    double width;
    double lines;
  } cases[] = {
      {"", 40, 0},
      {"short", 40, 1},
      {"short\n", 40, 1},  // the trailing break adds no line
      {"a\n\nb", 40, 3},
      {std::string(81, 'x'), 40, 3},
  };
  for (const auto& c : cases) EXPECT_EQ(lineCountForText(c.text, c.width), c.lines) << c.text;
}

TEST(WorkspaceTest, RecordingWorkspaceStartsNothingAndWritesTheTranscript) {
  test::TempFolder folder;
  setFrontEnd(std::make_unique<ScriptFrontEnd>(std::nullopt, folder / "transcript"));
  RecordingWorkspace workspace;
  EXPECT_TRUE(workspace.open("mailto:support@example.test"));
  EXPECT_TRUE(workspace.launchApplication("/Applications/Editor.app"));
  ASSERT_EQ(workspace.events().size(), 2u);
  auto lines = test::readJsonLines(folder / "transcript");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]["action"], "launch");
  setFrontEnd(nullptr);
}

}  // namespace
}  // namespace vantor::platform
