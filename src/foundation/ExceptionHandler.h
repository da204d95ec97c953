#pragma once
// The end of every uncaught failure: std::terminate (an exception nobody caught, on any
// thread) records the exception in the user defaults and shows the fatal feedback dialog,
// which offers a problem-report mail and ends the process with status 1.

#include <optional>
#include <string>
#include <vector>

#include "foundation/Json.h"

namespace vantor {

// What is known about an uncaught failure.
struct ExceptionInfo {
  std::string name;         // the exception's type
  std::string description;  // its what()
  std::string reason;
  std::optional<Json> userInfo;
  std::vector<std::string> callStackSymbols;
};

// Installs the terminate handler (once).
void installExceptionHandler();

// Records "Date: <short date and time> Exception: <text>" under "tessellib_exception_info"
// (the last 10 are kept) and ends with alert_feedback_fatal. Never returns.
[[noreturn]] void exceptionHandler(const ExceptionInfo& exception);

// Logs, then shows the error dialog on the main thread and waits for it; "Send to
// support" opens a problem-report mail. When fatal, ends the process with status 1.
void alert_feedback(const std::string& name, const std::string& details, bool fatal);
[[noreturn]] void alert_feedback_fatal(const std::string& name, const std::string& details);

namespace detail {
// The details as the dialog shows them: over 400 characters become the first 400 and a note.
std::string shortenedFeedbackDetails(const std::string& details);
// The problem-report mail link, before percent-encoding.
std::string feedbackMailLink(const std::string& name, const std::string& details, bool fatal);
// The record text " <description> <reason> <user info> <call stack>".
std::string exceptionText(const ExceptionInfo& exception);
// What the terminate handler knows about the exception in flight (if any).
ExceptionInfo currentExceptionInfo();
}  // namespace detail

}  // namespace vantor
