#pragma once
// The progress postings of an install run: "ProgressUpdateNotification" on the default
// notification centre, with a dictionary of "message", "url", "percent" or "abortstop"
// as the notification's object, posted on the calling thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

class InstallProgress {
 public:
  InstallProgress() = delete;

  static constexpr const char* kNotificationName = "ProgressUpdateNotification";

  // A plain message, localised.
  static void postMessage(std::string_view message);
  static void postURL(const std::string& downloadURL);
  // One download report; expected 0 or less means the total is unknown.
  static void postDownload(std::int64_t received, std::int64_t expected);
  // The download is over: cancelling is no longer offered.
  static void postAbortStop();
  // The unprivileged install's fraction 0 ... 1.
  static void postInstallFraction(double fraction);
  // The privileged tool's last progress token.
  static void postToolProgress(const std::string& text);
};

}  // namespace vantor
