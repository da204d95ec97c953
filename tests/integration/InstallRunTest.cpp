// The install run through the real helper binary: its home in a temporary folder, the
// scripted front end, a catalog signed with the demo key and the fixture server standing
// in for the cask host, the download host and the product server (icons).
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/UserDefaults.h"
#include "support/ArchiveFixtures.h"
#include "support/FixtureServerProcess.h"
#include "support/HelperSandbox.h"
#include "support/TestSupport.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

using nlohmann::json;

class InstallRunTest : public ::testing::Test {
 protected:
  InstallRunTest() {
    std::filesystem::create_directories(applications());
    // The archive: Editor.app (com.example.Editor), zipped.
    test::writeAppBundle(sandbox_.path("work"), "Editor");
    std::filesystem::create_directories(root() + "/downloads");
    EXPECT_TRUE(test::runBsdtar({"--format", "zip", "-cf", root() + "/downloads/Editor-2.1.0.zip", "Editor.app"},
                                sandbox_.path("work")));
    put("/cgi-bin/icons/com.example.Editor.png", std::string("\x89PNG\r\n\x1a\n", 8) + "icon");
  }

  std::string root() const { return sandbox_.path("root"); }
  std::string applications() const { return sandbox_.path("Applications"); }
  void put(const std::string& path, const std::string& contents) const {
    std::filesystem::create_directories(std::filesystem::path(root() + path).parent_path());
    test::writeFile(root() + path, contents);
  }
  // A cask for com.example.Editor whose download is the given path of the server.
  void serve(const std::string& downloadPath) {
    server_ = std::make_unique<test::FixtureServerProcess>(root());
    put("/caskroom/homebrew-cask/master/Casks/editor.rb",
        "cask 'editor' do\n  version '2.1.0'\n  sha256 :no_check\n\n  url '" + server_->httpsURL(downloadPath) +
            "'\n  name 'Editor'\n  homepage 'https://example.com/editor/'\n\n  app 'Editor.app'\nend\n");
    sandbox_.writeCatalog(R"({"bundleIDMapping":{"com.example.Editor":{"cn":"editor"}}})");
    sandbox_.writeDefaults({{"InstallationDirectory", applications()}});
  }
  platform::ProcessResult install() const {
    return sandbox_.run({"vantor://com.example.Editor"}, server_->hostEnvironment());
  }
  std::optional<json> installationDirectory() const {
    return platform::UserDefaults(sandbox_.home() + "/Library/Preferences/" + build::kBundleIdentifier + ".plist")
        .objectForKey("InstallationDirectory");
  }

  test::HelperSandbox sandbox_;
  std::unique_ptr<test::FixtureServerProcess> server_;
};

TEST_F(InstallRunTest, InstallsTheAppWithProgressBeforeTheResultAndRevealsItWhenAsked) {
  serve("/downloads/Editor-2.1.0.zip");
  for (int box : {1, 0}) {
    std::filesystem::remove_all(applications() + "/Editor.app");
    std::filesystem::remove(sandbox_.transcriptPath());
    sandbox_.answers({{{"button", 1000}}, {{"button", 1000}, {"checkbox", box}}});
    auto result = install();
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(std::filesystem::is_regular_file(applications() + "/Editor.app/Contents/Info.plist"));

    auto lines = sandbox_.transcript();
    auto result_ = std::find_if(lines.begin(), lines.end(),
                                [](const json& line) { return line["title"] == "Installation Successful"; });
    ASSERT_NE(result_, lines.end()) << result.output;
    EXPECT_EQ((*result_)["message"], "The app 'Editor' was successfully installed.");
    EXPECT_EQ((*result_)["checkboxTitle"], "Reveal 'Editor' in the Finder now");
    // The window opens with the name, and every update comes before the dialog.
    auto firstProgress =
        std::find_if(lines.begin(), lines.end(), [](const json& line) { return line["kind"] == "progress"; });
    ASSERT_LT(firstProgress, result_);
    EXPECT_EQ(*firstProgress, json({{"kind", "progress"}, {"name", "Installing App: Editor"}}));
    EXPECT_TRUE(std::none_of(result_, lines.end(), [](const json& line) { return line["kind"] == "progress"; }));
    EXPECT_TRUE(std::any_of(firstProgress, result_, [](const json& line) { return line.contains("percent"); }));

    auto reveal = json({{"kind", "workspace"}, {"action", "reveal"}, {"path", applications() + "/Editor.app"}});
    EXPECT_EQ(std::count(lines.begin(), lines.end(), reveal), box) << box;
  }
}

TEST_F(InstallRunTest, FailedDownloadEndsInTheTableMessage) {
  serve("/downloads/Missing-2.1.0.zip");
  sandbox_.answers({{{"button", 1000}}});
  auto result = install();
  EXPECT_EQ(result.status, 0) << result.output;
  auto alerts = sandbox_.alerts();
  ASSERT_EQ(alerts.size(), 2u) << result.output;
  EXPECT_EQ(alerts[1]["message"],
            "Installation of the app failed. Error: The app failed to install because the newest version could not be "
            "downloaded. This is usually a temporary problem with the connection.");
  EXPECT_EQ(alerts[1]["buttons"], json({"D'Oh"}));
  EXPECT_FALSE(std::filesystem::exists(applications() + "/Editor.app"));
}

TEST_F(InstallRunTest, ChooseInstallDirStoresTheConfirmedFolderAndKeepsItOnCancel) {
  const std::string apps = sandbox_.path("My Apps");
  std::filesystem::create_directories(apps);

  sandbox_.answers({{{"folder", apps + "/"}}});
  auto chosen = sandbox_.run({"--choose-install-dir"});
  EXPECT_EQ(chosen.status, 0) << chosen.output;
  EXPECT_EQ(installationDirectory(), json(apps));

  sandbox_.answers({json::object()});
  auto cancelled = sandbox_.run({"--choose-install-dir"});
  EXPECT_EQ(cancelled.status, 0) << cancelled.output;
  EXPECT_EQ(installationDirectory(), json(apps));

  auto panels = sandbox_.transcript();
  ASSERT_EQ(panels.size(), 2u);
  EXPECT_EQ(panels[0]["kind"], "folder");
  EXPECT_EQ(panels[0]["directory"], "/Applications/");
  EXPECT_EQ(panels[1]["directory"], apps);
  EXPECT_EQ(panels[1]["result"], nullptr);
}

}  // namespace
}  // namespace vantor
