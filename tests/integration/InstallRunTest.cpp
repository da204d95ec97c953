// The install run and the installation folder through the real helper binary, with its
// home in a temporary folder and the scripted front end.
#include <filesystem>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/UserDefaults.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

class InstallRunTest : public ::testing::Test {
 protected:
  std::string home() const { return folder_ / "home"; }
  std::string transcriptPath() const { return folder_ / "transcript.jsonl"; }
  std::string preferencesPath() const {
    return home() + "/Library/Preferences/" + build::kBundleIdentifier + ".plist";
  }
  std::optional<nlohmann::json> installationDirectory() const {
    return platform::UserDefaults(preferencesPath()).objectForKey("InstallationDirectory");
  }

  platform::ProcessResult run(std::vector<std::string> arguments, const std::string& answers) const {
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(folder_ / "run");
    test::writeFile(folder_ / "answers.jsonl", answers);
    arguments.insert(arguments.begin(), test::binaryPath("vantor-install-helper"));
    platform::RunOptions options;
    options.environment = {{"HOME", home()},
                           {"XDG_RUNTIME_DIR", folder_ / "run"},
                           {"VANTOR_UI", "script"},
                           {"VANTOR_UI_TRANSCRIPT", transcriptPath()},
                           {"VANTOR_UI_SCRIPT", folder_ / "answers.jsonl"}};
    options.timeoutSeconds = 60;
    return platform::runProcess(arguments, options);
  }

  test::TempFolder folder_;
};

TEST_F(InstallRunTest, ChooseInstallDirStoresTheConfirmedFolderAndKeepsItOnCancel) {
  const std::string apps = folder_ / "My Apps";
  std::filesystem::create_directories(apps);

  auto chosen = run({"--choose-install-dir"}, nlohmann::json{{"folder", apps + "/"}}.dump() + "\n");
  EXPECT_EQ(chosen.status, 0) << chosen.output;
  EXPECT_EQ(installationDirectory(), nlohmann::json(apps));

  auto cancelled = run({"--choose-install-dir"}, "{}\n");
  EXPECT_EQ(cancelled.status, 0) << cancelled.output;
  EXPECT_EQ(installationDirectory(), nlohmann::json(apps));

  auto panels = test::readJsonLines(transcriptPath());
  ASSERT_EQ(panels.size(), 2u);
  EXPECT_EQ(panels[0]["kind"], "folder");
  EXPECT_EQ(panels[0]["directory"], "/Applications/");
  EXPECT_EQ(panels[1]["directory"], apps);
  EXPECT_EQ(panels[1]["result"], nullptr);
}

}  // namespace
}  // namespace vantor
