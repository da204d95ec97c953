#include <thread>

#include <gtest/gtest.h>

#include "catalog/ConfigFile.h"
#include "foundation/Dispatch.h"
#include "foundation/FileHelpers.h"
#include "install/InstallErrorCodes.h"
#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/ScriptFrontEnd.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "shell/AppDelegate.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

using nlohmann::json;

// One launched delegate per test process, as in the helper.
AppDelegate& launchedDelegate() {
  static AppDelegate* delegate = [] {
    test::isolateHome();
    AppDelegate::initialize();
    auto* d = new AppDelegate();
    d->applicationWillFinishLaunching({"vantor-install-helper"});
    AppDelegate::setConfigFile(std::make_shared<ConfigFile>(Json{{"bundleIDMapping", Json::object()}}));
    return d;
  }();
  return *delegate;
}

// What the pipeline stand-in does: post `progress` from its thread, as the pipeline does,
// then report the final path and return the outcome.
struct InstallRun {
  std::optional<std::string> name;
  std::optional<Error> outcome;
  std::optional<std::string> finalPath;
  std::vector<json> answers;  // of the scripted front end
  std::vector<json> progress;
};

InstallRun named(std::optional<std::string> name, std::optional<Error> outcome, std::optional<std::string> finalPath,
                 std::vector<json> answers = {}) {
  return InstallRun{std::move(name), std::move(outcome), std::move(finalPath), std::move(answers), {}};
}

// Runs installBID under the scripted front end and returns the transcript.
std::vector<json> runInstall(const test::TempFolder& folder, const InstallRun& run) {
  AppDelegate& delegate = launchedDelegate();
  std::string answers;
  for (const auto& answer : run.answers) answers += answer.dump() + "\n";
  test::writeFile(folder / "answers", answers);
  removeItem(folder / "transcript");
  platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(folder / "answers", folder / "transcript"));
  platform::Workspace::setShared(std::make_unique<platform::RecordingWorkspace>());

  AppDelegate::setInstallRunner([&run](const std::string& bundleIdentifier, const ConfigFile&,
                                       const std::string& directory, std::optional<std::string>* finalPath) {
    EXPECT_EQ(bundleIdentifier, "com.example.editor");
    EXPECT_EQ(directory, platform::UserDefaults::standard().objectForKey("InstallationDirectory"));
    EXPECT_FALSE(platform::isMainThread());
    for (const auto& update : run.progress)
      platform::NotificationCenter::defaultCenter().post("ProgressUpdateNotification", update);
    *finalPath = run.finalPath;
    return run.outcome;
  });
  dispatch_async_main([&] { delegate.installBID("com.example.editor", run.name); });
  EXPECT_EQ(platform::runMainLoop(), 0);
  EXPECT_TRUE(delegate.isInstalling());
  AppDelegate::setInstallRunner(nullptr);
  platform::setFrontEnd(nullptr);
  return test::readJsonLines(folder / "transcript");
}

std::vector<json> linesOfKind(const std::vector<json>& lines, const std::string& kind) {
  std::vector<json> out;
  for (const auto& line : lines)
    if (line["kind"] == kind) out.push_back(line);
  return out;
}

class AppDelegateInstallTest : public ::testing::Test {
 protected:
  void SetUp() override { launchedDelegate(); }
  // The icon comes from a port nobody listens on: no icon, and nothing leaves the machine.
  test::ScopedEnvironmentVariable productServer_{"VANTOR_PRODUCT_SERVER", "127.0.0.1:1"};
  test::TempFolder folder_;
};

TEST_F(AppDelegateInstallTest, ResultDialogFollowsTheOutcome) {
  const std::string existing = folder_ / "Editor.app";
  createDirectories(existing);
  const std::string newerOS = "Installation of the app failed. Error: The app cannot be install because it requires a "
                              "newer macOS version.";
  struct Case {
    const char* what;
    Error outcome;
    std::string message;
    std::string button;
  } cases[] = {
      {"installer launched", Error(kCocoaErrorDomain, kErrorInstallOnlyInstaller),
       "The installer for the app 'Editor' has been successfully downloaded and launched.", "OK"},
      {"app at the target", Error(kCocoaErrorDomain, kErrorInstallInstallationFailed, {{"destinationPath", existing}}),
       "The app 'Editor' could not be installed into your '/Applications/' folder because there is already an app at "
       "the target path: '" + existing + "'",
       "D'Oh"},
      {"nothing at the target",
       Error(kCocoaErrorDomain, kErrorInstallInstallationFailed, {{"destinationPath", folder_ / "Missing.app"}}),
       "Installation of the app failed. Error: The app failed to update because the installation failed.", "D'Oh"},
      {"aborted, no message", Error(kCocoaErrorDomain, kErrorInstallAborted),
       "Installation of the app failed. Error: (null)", "D'Oh"},
      {"code 9", Error(kCocoaErrorDomain, kErrorInstallCaskRequiresNewerOS), newerOS, "D'Oh"},
      {"code 16", Error(kCocoaErrorDomain, kErrorInstallAppRequiresNewerOS), newerOS, "D'Oh"},
      {"bare name", Error(kCocoaErrorDomain, kErrorInstallDownloadException),
       "Installation of the app failed. Error: kErrorInstallDownloadException", "D'Oh"},
  };
  for (const auto& c : cases) {
    auto lines = runInstall(folder_, named("Editor", c.outcome, existing));
    auto alerts = linesOfKind(lines, "alert");
    ASSERT_EQ(alerts.size(), 1u) << c.what;
    // Titled with the application's name.
    EXPECT_EQ(alerts[0]["function"], "alert") << c.what;
    EXPECT_EQ(alerts[0]["title"], platform::Bundle::main().objectForInfoDictionaryKey("CFBundleName")) << c.what;
    EXPECT_EQ(alerts[0]["message"], c.message) << c.what;
    EXPECT_EQ(alerts[0]["buttons"], json::array({c.button})) << c.what;
    EXPECT_FALSE(alerts[0].contains("checkbox")) << c.what;
    EXPECT_TRUE(linesOfKind(lines, "workspace").empty()) << c.what;
  }
}

TEST_F(AppDelegateInstallTest, SuccessRevealsTheAppOnlyWhenTheBoxIsTicked) {
  const std::string installed = folder_ / "Applications/Editor.app";
  for (int box : {1, 0}) {
    auto lines = runInstall(folder_, named("Editor", std::nullopt, installed, {{{"button", 1000}, {"checkbox", box}}}));
    auto alerts = linesOfKind(lines, "alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["function"], "alert_checkbox");
    EXPECT_EQ(alerts[0]["title"], "Installation Successful");
    EXPECT_EQ(alerts[0]["message"], "The app 'Editor' was successfully installed.");
    EXPECT_EQ(alerts[0]["buttons"], json::array({"Awesome"}));
    EXPECT_EQ(alerts[0]["checkboxTitle"], "Reveal 'Editor' in the Finder now");
    auto reveals = linesOfKind(lines, "workspace");
    if (box) {
      ASSERT_EQ(reveals.size(), 1u);
      EXPECT_EQ(reveals[0]["action"], "reveal");
      EXPECT_EQ(reveals[0]["path"], installed);
    } else {
      EXPECT_TRUE(reveals.empty());
    }
  }
  // Without a final path there is nothing to reveal, whatever the box says.
  auto lines = runInstall(folder_, named("Editor", std::nullopt, std::nullopt, {{{"button", 1000}, {"checkbox", 1}}}));
  EXPECT_TRUE(linesOfKind(lines, "workspace").empty());
}

TEST_F(AppDelegateInstallTest, AbsentNameShowsAsNullInWindowAndDialog) {
  auto lines = runInstall(folder_, named(std::nullopt, std::nullopt, folder_ / "X.app"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), json({{"kind", "progress"}, {"name", "Installing App: (null)"}}));
  EXPECT_EQ(lines.back()["message"], "The app '(null)' was successfully installed.");
  EXPECT_EQ(lines.back()["checkboxTitle"], "Reveal '(null)' in the Finder now");
}

TEST_F(AppDelegateInstallTest, ProgressIsCompleteAndInPostingOrderBeforeTheDialog) {
  InstallRun run = named("Editor", Error(kCocoaErrorDomain, kErrorInstallDownloadFailed), std::nullopt);
  for (int i = 0; i < 200; ++i) {
    json update = {{"percent", i / 2.0}, {"abortstop", true}};
    if (i % 3 == 0) update["message"] = "step " + std::to_string(i);
    if (i % 50 == 0) update["url"] = "https://example.test/" + std::to_string(i) + ".zip";
    run.progress.push_back(update);
  }
  auto lines = runInstall(folder_, run);
  ASSERT_EQ(lines.size(), 1u + 200u + 1u);
  EXPECT_EQ(lines[0], json({{"kind", "progress"}, {"name", "Installing App: Editor"}}));
  for (size_t i = 0; i < 200; ++i) {
    json expected = run.progress[i];
    expected.erase("abortstop");  // not shown
    expected["kind"] = "progress";
    EXPECT_EQ(lines[1 + i], expected) << i;
  }
  EXPECT_EQ(lines.back()["kind"], "alert");
}

TEST_F(AppDelegateInstallTest, IconFromTheProductServerReachesTheWindow) {
  test::TestCertificateAuthority authority("Vantor Test CA");
  auto server = test::LoopbackServer::startHTTPS(authority.issueServerIdentity());
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of the image";
  server->on("/cgi-bin/icons/com.example.editor.png", test::ScriptedResponse::text(200, png));
  test::ScopedEnvironmentVariable trust("VANTOR_CA_BUNDLE", authority.writeCertificateFile(folder_.path()));
  test::ScopedEnvironmentVariable host("VANTOR_PRODUCT_SERVER", "127.0.0.1:" + std::to_string(server->port()));

  // The install stand-in waits for the icon, so that the result does not end the run first.
  std::vector<json> lines;
  AppDelegate& delegate = launchedDelegate();
  platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(std::nullopt, folder_ / "transcript"));
  AppDelegate::setInstallRunner([&](const std::string&, const ConfigFile&, const std::string&,
                                    std::optional<std::string>*) -> std::optional<Error> {
    for (int i = 0; i < 200; ++i) {
      for (const auto& line : test::readJsonLines(folder_ / "transcript"))
        if (line.contains("image")) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Error(kCocoaErrorDomain, kErrorInstallAborted);
  });
  dispatch_async_main([&] { delegate.installBID("com.example.editor", "Editor"); });
  EXPECT_EQ(platform::runMainLoop(), 0);
  AppDelegate::setInstallRunner(nullptr);
  platform::setFrontEnd(nullptr);

  lines = test::readJsonLines(folder_ / "transcript");
  auto alerts = linesOfKind(lines, "alert");
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]["function"], "alert_checkbox");  // the icon came
  EXPECT_EQ(server->requestCount("/cgi-bin/icons/com.example.editor.png"), 1);
}

TEST_F(AppDelegateInstallTest, FolderPanelStoresAConfirmedFolderWithoutTrailingSlash) {
  auto& defaults = platform::UserDefaults::standard();
  const std::string apps = folder_ / "Apps";
  createDirectories(apps);
  test::writeFile(folder_ / "file", "x");
  struct Case {
    std::string answers;
    std::string stored;
  } cases[] = {
      {R"({"folder":")" + apps + R"(/"})", apps},
      {"", apps},                                            // cancelled: unchanged
      {R"({"folder":")" + folder_ / "file" + R"("})", apps},  // not a folder: unchanged
      {R"({"folder":"/"})", "/"},
  };
  for (const auto& c : cases) {
    test::writeFile(folder_ / "answers", c.answers + "\n");
    platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(folder_ / "answers", folder_ / "transcript"));
    AppDelegate::setInstallDir();
    EXPECT_EQ(defaults.objectForKey("InstallationDirectory"), json(c.stored)) << c.answers;
    platform::setFrontEnd(nullptr);
  }
  // The panel starts in the folder the default names.
  auto panels = linesOfKind(test::readJsonLines(folder_ / "transcript"), "folder");
  ASSERT_EQ(panels.size(), 4u);
  EXPECT_EQ(panels[0]["directory"], "/Applications/");
  EXPECT_EQ(panels[1]["directory"], apps);
  defaults.removeObject("InstallationDirectory");
}

}  // namespace
}  // namespace vantor
