#include "foundation/ExceptionHandler.h"

#include <cxxabi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <typeinfo>

#include "foundation/Alerts.h"
#include "foundation/ArrayHelpers.h"
#include "foundation/DataHelpers.h"
#include "foundation/Dates.h"
#include "foundation/Dispatch.h"
#include "foundation/FileHelpers.h"
#include "foundation/Localization.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/TesselLib.h"
#include "foundation/UserDefaultsHelpers.h"
#include "platform/Bundle.h"
#include "platform/CallStack.h"
#include "platform/HostFacts.h"
#include "platform/RunLoop.h"
#include "platform/SystemVersion.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

std::atomic<bool> handling{false};

std::string demangled(const char* name) {
  int status = 0;
  char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string out = status == 0 && readable != nullptr ? readable : name;
  std::free(readable);
  return out;
}

void terminateHandler() {
  // A failure while handling one can only abort.
  if (handling.exchange(true)) std::abort();
  exceptionHandler(detail::currentExceptionInfo());
}

Text infoString(const char* key) { return platform::Bundle::main().objectForInfoDictionaryKey(key); }

}  // namespace

ExceptionInfo detail::currentExceptionInfo() {
  ExceptionInfo info;
  info.callStackSymbols = platform::callStackSymbols();
  std::exception_ptr current = std::current_exception();
  if (!current) {
    info.name = "std::terminate";
    info.description = info.reason = "terminate called without an active exception";
    return info;
  }
  std::type_info* type = abi::__cxa_current_exception_type();
  info.name = type ? demangled(type->name()) : "unknown exception";
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    info.description = info.reason = e.what();
  } catch (...) {
    info.description = info.reason = info.name;
  }
  return info;
}

std::string detail::exceptionText(const ExceptionInfo& exception) {
  return makeString(" %@ %@ %@ %@", exception.description, exception.reason, exception.userInfo,
                    joined(exception.callStackSymbols, "\n"));
}

std::string detail::shortenedFeedbackDetails(const std::string& details) {
  if (toCodePoints(details).size() <= 400) return details;
  return makeString("%@  …\n(Remaining message omitted)", clamp(details, 400));
}

std::string detail::feedbackMailLink(const std::string& name, const std::string& details, bool fatal) {
  Text appName = infoString("CFBundleName");
  Text version = infoString("CFBundleShortVersionString");
  Text build = infoString("CFBundleVersion");
  int buildNumber = build ? std::atoi(build->c_str()) : 0;

  platform::UserDefaults::standard().synchronize();
  std::string preferences;
  if (auto bytes = contents(platform::UserDefaults::standard().path())) preferences = base64String(*bytes);
  if (cc != nullptr && !cc->appCrashLogFilenames().empty())
    preferences += "\n\n" + joined(cc->appCrashLogs(), "\n");

  std::string subject = makeString("%@ v%@ (%i) Problem Report", appName, version, buildNumber);
  std::string body = makeString(
      "Hello\nA %@ error in %@ occurred (%@).\n\nBye\n\nP.S. Details: %@\n\n\nP.P.S: Hardware: %@ Software: %@ Admin: "
      "%i\n\nPreferences: %@\n",
      fatal ? "fatal" : "", appName, name, details, platform::machineModel(), platform::operatingSystemVersionString(),
      platform::userIsAdministrator() ? 1 : 0, preferences);
  return makeString("mailto:%@?subject=%@&body=%@", build::kSupportMail, subject, body);
}

void installExceptionHandler() {
  static const bool installed = [] {
    std::set_terminate(terminateHandler);
    return true;
  }();
  (void)installed;
}

void exceptionHandler(const ExceptionInfo& exception) {
  std::string text = detail::exceptionText(exception);
  std::string record = makeString("Date: %@ Exception:%@", shortDateAndTimeString(std::time(nullptr)), text);
  cc_defaults_addtoarray("tessellib_exception_info", record, 10);
  alert_feedback_fatal(exception.name, text);
}

void alert_feedback(const std::string& name, const std::string& details, bool fatal) {
  cc_log_error("alert_feedback %@ %@", name, details);
  auto show = [name, details, fatal](bool onMainThread) {
    std::string link;
    try {
      link = detail::feedbackMailLink(name, details, fatal);
    } catch (...) {
      link.clear();  // the report is a courtesy; the dialog comes regardless
    }
    std::string message = makeString(
        "%@\n\n You can contact our support with detailed information so that we can fix this problem.\n\n"
        "Information: %@",
        name, detail::shortenedFeedbackDetails(details));
    Text title = localized(fatal ? "Fatal Error" : "Error");
    Text send = localized("Send to support");
    Text other = localized(fatal ? "Quit" : "Continue");
    long pressed = onMainThread ? alert(title, message, send, other)
                                : detail::alertOffMainThread(title, message, send, other, std::nullopt);
    if (pressed == kAlertFirstButtonReturn && !link.empty()) platform::Workspace::shared().open(escaped(link));
  };

  if (isMainThread()) {
    show(true);
  } else {
    // The main thread may itself be waiting for this thread; then nobody would ever serve
    // the queue. Whoever claims the dialog first shows it: the main queue, or this thread
    // once the wait is over.
    struct Claim {
      std::atomic<bool> taken{false};
      std::mutex mutex;
      std::condition_variable done;
      bool finished = false;
    };
    auto claim = std::make_shared<Claim>();
    platform::postToMainQueue([claim, show] {
      if (claim->taken.exchange(true)) return;
      show(true);
      std::lock_guard lock(claim->mutex);
      claim->finished = true;
      claim->done.notify_all();
    });
    std::unique_lock lock(claim->mutex);
    bool served = claim->done.wait_for(lock, std::chrono::seconds(10), [&] { return claim->finished; });
    lock.unlock();
    if (!served && !claim->taken.exchange(true)) show(false);
    else if (!served) {
      lock.lock();
      claim->done.wait(lock, [&] { return claim->finished; });
    }
  }
  if (fatal) platform::exitProcess(1);
}

void alert_feedback_fatal(const std::string& name, const std::string& details) {
  alert_feedback(name, details, true);
  platform::exitProcess(1);
}

}  // namespace vantor
