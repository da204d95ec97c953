#include "shell/AppDelegate.h"

#include <thread>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "foundation/Dispatch.h"
#include "foundation/TesselLib.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/ScriptFrontEnd.h"
#include "platform/UserDefaults.h"

namespace vantor {
namespace {

TEST(AppDelegateTest, ArgumentsAndLinks) {
  using Args = std::vector<std::string>;
  EXPECT_TRUE(AppDelegate::containsQuitAfterLaunch(Args{"helper", "x", "--quitAfterLaunch"}));
  EXPECT_FALSE(AppDelegate::containsQuitAfterLaunch(Args{"helper", "--quitAfterLaunchX", "-quitAfterLaunch"}));
  EXPECT_EQ(AppDelegate::linkFromArguments(Args{"helper", "-v", "vantor://a", "vantor://b"}), "vantor://a");
  EXPECT_EQ(AppDelegate::linkFromArguments(Args{"helper", "--flag"}), std::nullopt);
  EXPECT_EQ(AppDelegate::linkFromArguments(Args{"helper", ""}), "");

  EXPECT_EQ(AppDelegate::refusalReason("vantor://com.example.editor"), std::nullopt);
  EXPECT_EQ(AppDelegate::refusalReason("vantor://" + std::string(AppDelegate::kMaxLinkBytes - 9, 'a')), std::nullopt);
  for (const std::string& bad : {std::string(), std::string("vantor://\xc3"), std::string("vantor://a\0b", 11),
                                 "vantor://" + std::string(AppDelegate::kMaxLinkBytes, 'a')})
    EXPECT_TRUE(AppDelegate::refusalReason(bad)) << bad.size();
}

TEST(AppDelegateTest, LaunchSetsUpTheDelegateAndProgressHopsToTheMainQueueInOrder) {
  test::isolateHome();
  test::TempFolder folder;
  platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(std::nullopt, folder / "transcript"));
  EXPECT_EQ(AppDelegate::sharedInstance(), nullptr);

  AppDelegate::initialize();
  EXPECT_EQ(platform::UserDefaults::standard().objectForKey("InstallationDirectory"), Json("/Applications/"));

  AppDelegate delegate;
  delegate.applicationWillFinishLaunching({"helper"});
  EXPECT_EQ(AppDelegate::sharedInstance(), &delegate);
  EXPECT_NE(cc, nullptr);
  EXPECT_TRUE(AppDelegate::isNonDigit(U'a'));
  EXPECT_FALSE(AppDelegate::isNonDigit(U'7'));
  EXPECT_TRUE(AppDelegate::isNonDigit(U'.'));
  EXPECT_FALSE(AppDelegate::isNonDigitNonDot(U'.'));
  EXPECT_FALSE(delegate.isInstalling());
  EXPECT_EQ(delegate.abortAppInfos(), nullptr);
  EXPECT_EQ(delegate.configFile(), nullptr);

  std::thread installRun([] {
    for (int percent = 0; percent <= 100; percent += 25)
      platform::NotificationCenter::defaultCenter().post(
          "ProgressUpdateNotification", {{"percent", percent}, {"url", "https://example.test/a.zip"}, {"message", "m"}});
    // The loop ends after every update queued before this.
    dispatch_async_main([] { AppDelegate::sharedInstance()->terminate(); });
  });
  EXPECT_EQ(platform::runMainLoop(), 0);
  installRun.join();

  auto lines = test::readJsonLines(folder / "transcript");
  ASSERT_EQ(lines.size(), 5u);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i]["kind"], "progress");
    EXPECT_EQ(lines[i]["percent"], 25.0 * static_cast<double>(i));
  }
  platform::setFrontEnd(nullptr);
}

TEST(AppDelegateTest, TestLinkTerminatesBeforeLaterLinks) {
  test::isolateHome();
  platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(std::nullopt, std::nullopt));
  AppDelegate delegate;  // link intake needs no launch
  test::StderrCapture err;
  dispatch_async_main([&] { delegate.handleURLEvent(std::string(AppDelegate::kTestLink)); });
  dispatch_async_main([&] { delegate.handleURLEvent(std::string("vantor://never.reached")); });
  EXPECT_EQ(platform::runMainLoop(), 0);
  std::string text = err.text();
  EXPECT_EQ(text.find("never.reached"), std::string::npos) << text;
  platform::setFrontEnd(nullptr);
}

}  // namespace
}  // namespace vantor
