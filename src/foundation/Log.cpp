#include "foundation/Log.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "foundation/Assert.h"
#include "foundation/Dates.h"
#include "foundation/StringHelpers.h"
#include "platform/LogFile.h"
#include "platform/UserDefaults.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

std::unique_ptr<platform::LogFile> logfile;
std::uint8_t logfileLevel = 0;
int logtoprefsPosition = 0;
std::mutex captureMutex;  // serialises capture writes from several threads

bool beginsWithWarning(const std::string& message) {
  return lowercased(message.substr(0, 7)) == "warning";
}

std::string nowFormatted(const char* format) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

// The short time style of the en_US locale: "1:05 PM".
std::string shortTime() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  int hour = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
  return makeString("%i:%02i %@", hour, tm.tm_min, tm.tm_hour < 12 ? "AM" : "PM");
}

}  // namespace

const char* logLevelWord(std::uint8_t level) {
  static const char* words[] = {"Emergency", "Alert", "Critical", "Error", "Warning", "Notice", "Info", "Debug"};
  return level < 8 ? words[level] : "Unknown";
}

std::string detail::consoleLine(std::uint8_t level, const std::string& message) {
  if (level <= 3) return "\033[91m" + message + "\033[0m\n";
  if (beginsWithWarning(message)) return "\033[93m" + message + "\033[0m\n";
  return message + "\n";
}

void cc_log_message(std::uint8_t level, const std::string& message) {
  _cc_log_tologfile(level, message);
  std::string line = detail::consoleLine(level, message);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void _cc_log_tologfile(std::uint8_t level, const std::string& message) {
  std::lock_guard lock(captureMutex);
  if (!logfile || level > logfileLevel) return;
  VANTOR_ASSERT(level < 8);
  std::string line = makeString("%@ %@  %@[%i] <%@>: %@\n", nowFormatted("%b %d"), shortTime(), build::kBundleName,
                                platform::processIdentifier(), logLevelWord(level), message);
  if (!isValidUTF8(line)) {
    std::string report = detail::consoleLine(3, makeString("could not open create data from string %@ for log", line));
    std::fwrite(report.data(), 1, report.size(), stderr);
    return;
  }
  logfile->append(line);
}

void cc_log_enablecapturetofile(const std::string& path, std::uint64_t sizeLimit, std::uint8_t level) {
  {
    std::lock_guard lock(captureMutex);
    VANTOR_ASSERT(!logfile);
  }
  auto opened = platform::LogFile::open(path, sizeLimit);
  if (!opened) {
    cc_log_error("could not open file %@ for log file usage", path);
    return;
  }
  std::lock_guard lock(captureMutex);
  logfile = std::move(opened);
  logfileLevel = level;
}

void cc_log_toprefs(const std::string& message) {
  static std::mutex ringMutex;  // one slot per message, also from several threads
  std::lock_guard lock(ringMutex);
  std::string key = makeString("tessellib_logtoprefs_pos%i", logtoprefsPosition);
  platform::UserDefaults::standard().setObject(key, makeString("date: %@ message: %@", currentDateDescription(), message));
  logtoprefsPosition = logtoprefsPosition > 41 ? 0 : logtoprefsPosition + 1;
}

void detail::resetLogStateForTesting() {
  std::lock_guard lock(captureMutex);
  logfile.reset();
  logfileLevel = 0;
  logtoprefsPosition = 0;
}

}  // namespace vantor
