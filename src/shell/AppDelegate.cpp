#include "shell/AppDelegate.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/Alerts.h"
#include "foundation/Dispatch.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/TesselLib.h"
#include "platform/Environment.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/SingleInstance.h"
#include "platform/TtyFrontEnd.h"
#include "platform/UserDefaults.h"

namespace vantor {
namespace {

AppDelegate* sharedDelegate = nullptr;

std::mutex configFileMutex;
std::shared_ptr<const ConfigFile>& sharedConfigFile() {
  static auto* file = new std::shared_ptr<const ConfigFile>();
  return *file;
}

// The character sets, built at launch and kept for the life of the process.
struct CharacterSets {
  std::u32string digits = U"0123456789";
  std::u32string digitsAndDot = U"0123456789.";
};
const CharacterSets* characterSets = nullptr;

std::unique_ptr<platform::SingleInstance>& instanceChannel() {
  static auto* channel = new std::unique_ptr<platform::SingleInstance>();
  return *channel;
}

}  // namespace

void AppDelegate::initialize() {
  platform::UserDefaults::standard().registerDefaults({{"InstallationDirectory", "/Applications/"}});
}

AppDelegate* AppDelegate::sharedInstance() { return sharedDelegate; }

bool AppDelegate::containsChooseInstallDir(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), "--choose-install-dir") != arguments.end();
}

bool AppDelegate::containsQuitAfterLaunch(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), "--quitAfterLaunch") != arguments.end();
}

std::optional<std::string> AppDelegate::linkFromArguments(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i < arguments.size(); ++i)
    if (arguments[i].empty() || arguments[i].front() != '-') return arguments[i];
  return std::nullopt;
}

std::optional<std::string> AppDelegate::refusalReason(std::string_view link) {
  if (link.empty()) return "the link is empty";
  if (link.size() > kMaxLinkBytes) return makeString("the link is %lu bytes long", link.size());
  if (!isValidUTF8(link)) return "the link is not UTF-8 text";
  if (link.find('\0') != std::string_view::npos) return "the link holds a NUL character";
  return std::nullopt;
}

bool AppDelegate::isNonDigit(char32_t c) {
  return characterSets != nullptr && characterSets->digits.find(c) == std::u32string::npos;
}

bool AppDelegate::isNonDigitNonDot(char32_t c) {
  return characterSets != nullptr && characterSets->digitsAndDot.find(c) == std::u32string::npos;
}

std::shared_ptr<const ConfigFile> AppDelegate::configFile() const {
  std::lock_guard lock(configFileMutex);
  return sharedConfigFile();
}

void AppDelegate::setConfigFile(std::shared_ptr<const ConfigFile> configFile) {
  std::lock_guard lock(configFileMutex);
  sharedConfigFile() = std::move(configFile);
}

int AppDelegate::applicationMain(const std::vector<std::string>& arguments) {
  platform::markMainThread();
  initialize();
  // Before anything else, the single-instance check included.
  if (containsQuitAfterLaunch(arguments)) return 0;
  // Non-interactive runs (the demo, scripts): every dialog takes its first button.
  if (std::find(arguments.begin(), arguments.end(), "--yes") != arguments.end())
    platform::setFrontEnd(std::make_unique<platform::TtyFrontEnd>(true));
  // The terminal's stand-in for the main window's folder control: no link, no catalog.
  if (containsChooseInstallDir(arguments)) {
    setInstallDir();
    return 0;
  }

  std::optional<std::string> link = linkFromArguments(arguments);
  if (link) {
    if (auto why = refusalReason(*link)) {
      cc_log_error("Error: refusing the link given on the command line: %@", *why);
      return 1;
    }
  }

  // A helper that already runs takes the link, as the system would deliver it there.
  std::string why;
  if (auto socketPath = platform::SingleInstance::defaultSocketPath(&why)) {
    auto outcome = platform::SingleInstance::claimOrForward(*socketPath, link);
    switch (outcome.role) {
      case platform::SingleInstance::Role::Forwarded:
        cc_log("Info: handed the link to the helper that is already running");
        return 0;
      case platform::SingleInstance::Role::AlreadyRunning: return 0;
      case platform::SingleInstance::Role::Refused:
        cc_log_error("Error: the running helper refused the link: %@", outcome.error);
        return 1;
      case platform::SingleInstance::Role::Unavailable:
        why = outcome.error;
        break;
      case platform::SingleInstance::Role::Primary: instanceChannel() = std::move(outcome.primary); break;
    }
  }
  if (!instanceChannel())
    cc_log_error("Warning: links of later launches can not reach this helper: %@", why);

  static AppDelegate delegate;
  delegate.applicationWillFinishLaunching(arguments);
  delegate.applicationDidFinishLaunching();
  // The link that caused the launch arrives like any later one.
  if (link) dispatch_async_main([link] { sharedDelegate->handleURLEvent(link); });

  int status = platform::runMainLoop();
  if (instanceChannel()) instanceChannel()->close();
  return status;
}

void AppDelegate::applicationWillFinishLaunching(const std::vector<std::string>& arguments) {
  if (containsQuitAfterLaunch(arguments)) {
    terminate();
    return;
  }
  characterSets = new CharacterSets();
  sharedDelegate = this;
  TesselLib::create();
  observeProgress();

  // Link intake: links from later launches arrive on the channel's thread and are handled
  // on the main thread, in arrival order.
  if (auto& channel = instanceChannel()) {
    channel->serve(
        [](const std::string& link) {
          if (auto why = refusalReason(link)) {
            cc_log_error("Error: refusing a link from another launch: %@", *why);
            return false;
          }
          return true;
        },
        [](const std::string& link) { dispatch_async_main([link] { sharedDelegate->handleURLEvent(link); }); });
  }

  // Test-only: makes the launch fail with an uncaught exception, so that tests can see the
  // fatal-error path end to end. Never set outside tests.
  if (platform::environmentValue("VANTOR_TEST_THROW_ON_LAUNCH") == "1")
    dispatch_async_main([] { throw std::runtime_error("exception thrown on launch for a test"); });
}

void AppDelegate::observeProgress() {
  platform::NotificationCenter::defaultCenter().addObserver("ProgressUpdateNotification", [this](const Json& info) {
    // Posted from the install run's thread: views are touched on the main queue only, and
    // async dispatch keeps the updates in posting order.
    dispatch_async_main([this, info] { updateProgressWindow(info); });
  });
}

void AppDelegate::updateProgressWindow(const Json& info) {
  if (!info.is_object()) return;
  platform::ProgressUpdate update;
  if (auto it = info.find("percent"); it != info.end() && it->is_number()) update.percent = it->get<double>();
  if (auto it = info.find("url"); it != info.end() && it->is_string()) update.url = it->get<std::string>();
  if (auto it = info.find("message"); it != info.end() && it->is_string()) update.message = it->get<std::string>();
  showProgress(update);
}

void AppDelegate::handleURLEvent(const std::optional<std::string>& link) {
  if (link == kTestLink) {
    terminate();
    return;
  }
  handleURL(link);
}

void AppDelegate::terminate() { platform::stopMainLoop(0); }

}  // namespace vantor
