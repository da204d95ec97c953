#pragma once
// Logging: every message goes to standard error (red for levels 0-3, yellow for a
// higher level whose text begins with "warning", plain otherwise) and, when capture is
// on, to the capture file as "MMM dd h:mm a  <app>[<pid>] <Level>: <message>".

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Format.h"

namespace vantor {

void cc_log_message(std::uint8_t level, const std::string& message);

template <class... Args>
void cc_log_level(std::uint8_t level, std::string_view format, const Args&... args) {
  cc_log_message(level, makeString(format, args...));
}
template <class... Args>
void cc_log(std::string_view format, const Args&... args) {
  cc_log_message(5, makeString(format, args...));
}
template <class... Args>
void cc_log_error(std::string_view format, const Args&... args) {
  cc_log_message(3, makeString(format, args...));
}

// Starts capture into the file at path (created when missing; trimmed to its last
// sizeLimit bytes when larger, 0 = no trimming). Asserts that capture is off.
void cc_log_enablecapturetofile(const std::string& path, std::uint64_t sizeLimit, std::uint8_t level);
void _cc_log_tologfile(std::uint8_t level, const std::string& message);

// Stores the message in the next of the 43 slots "tessellib_logtoprefs_pos%i".
void cc_log_toprefs(const std::string& message);

// The level word of the capture file ("Emergency" ... "Debug").
const char* logLevelWord(std::uint8_t level);

namespace detail {
// The exact bytes written to standard error for one message (tests check colours).
std::string consoleLine(std::uint8_t level, const std::string& message);
// Turns capture off again and resets the ring position; for tests only.
void resetLogStateForTesting();
}  // namespace detail

}  // namespace vantor
