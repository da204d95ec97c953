#include "platform/FrontEnd.h"

#include <cmath>
#include <cstdio>
#include <mutex>

#include "platform/Environment.h"
#include "platform/ScriptFrontEnd.h"
#include "platform/TtyFrontEnd.h"

namespace vantor::platform {
namespace {

std::mutex frontEndMutex;
std::unique_ptr<FrontEnd>& currentFrontEnd() {
  static auto* holder = new std::unique_ptr<FrontEnd>();  // never destroyed: used until exit
  return *holder;
}

// Code points of UTF-8 text: every byte that does not continue a sequence.
size_t characterCount(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// The byte offset of the code point with that index.
size_t byteOffsetOfCharacter(const std::string& text, size_t index) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (n == index) return i;
    ++n;
  }
  return text.size();
}

}  // namespace

double FrontEnd::heightForText(const std::string& text, double width) const { return lineCountForText(text, width); }

FrontEnd& frontEnd() {
  std::lock_guard lock(frontEndMutex);
  auto& current = currentFrontEnd();
  if (!current) current = makeFrontEndFromEnvironment();
  return *current;
}

std::unique_ptr<FrontEnd> setFrontEnd(std::unique_ptr<FrontEnd> frontEnd) {
  std::lock_guard lock(frontEndMutex);
  auto previous = std::move(currentFrontEnd());
  currentFrontEnd() = std::move(frontEnd);
  return previous;
}

std::unique_ptr<FrontEnd> makeFrontEndFromEnvironment() {
  auto ui = environmentValue("VANTOR_UI");
  if (ui == "script")
    return std::make_unique<ScriptFrontEnd>(environmentValue("VANTOR_UI_SCRIPT"),
                                            environmentValue("VANTOR_UI_TRANSCRIPT"));
  if (ui && *ui != "tty")
    std::fprintf(stderr, "Warning: VANTOR_UI=%s is not a front end (tty or script); choosing one\n", ui->c_str());
  if (ui == "tty" || TtyFrontEnd::terminalAttached()) return std::make_unique<TtyFrontEnd>();
  // Nobody to ask: answer every alert with its first button rather than wait forever.
  return std::make_unique<ScriptFrontEnd>(std::nullopt, std::nullopt);
}

std::string shortenedChoice(const std::string& choice) {
  size_t n = characterCount(choice);
  if (n <= 150) return choice;
  return choice.substr(0, byteOffsetOfCharacter(choice, 70)) + " […] " +
         choice.substr(byteOffsetOfCharacter(choice, n - 70));
}

double lineCountForText(const std::string& text, double width) {
  if (text.empty()) return 0;
  double perLine = std::max(1.0, std::floor(width));
  double lines = 0;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    lines += std::max(1.0, std::ceil(static_cast<double>(characterCount(paragraph)) / perLine));
    if (end == std::string::npos || end + 1 == text.size()) break;  // a trailing break adds no line
    start = end + 1;
  }
  return lines;
}

}  // namespace vantor::platform
