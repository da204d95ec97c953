#include "platform/TtyFrontEnd.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/RunLoop.h"

namespace vantor::platform {
namespace {

// The controlling terminal, opened for one prompt and closed again.
class Terminal {
 public:
  Terminal() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~Terminal() {
    if (fd_ >= 0) ::close(fd_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool isOpen() const { return fd_ >= 0; }

  void print(const std::string& text) {
    if (fd_ >= 0) (void)!::write(fd_, text.data(), text.size());
  }

  // One line without its line break; nothing at end of input.
  std::optional<std::string> readLine(bool secret = false) {
    if (fd_ < 0) return std::nullopt;
    termios saved{};
    bool restore = false;
    if (secret && ::tcgetattr(fd_, &saved) == 0) {
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      restore = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    std::string line;
    bool gotAny = false;
    char c;
    for (;;) {
      ssize_t n = ::read(fd_, &c, 1);
      if (n <= 0) break;
      gotAny = true;
      if (c == '\n') break;
      line += c;
    }
    if (restore) {
      ::tcsetattr(fd_, TCSAFLUSH, &saved);
      print("\n");
    }
    if (!gotAny) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  // A number from 1 to count; Return gives `fallback`; end of input gives nothing.
  std::optional<size_t> readNumber(const std::string& prompt, size_t count, size_t fallback) {
    for (;;) {
      print(prompt);
      auto line = readLine();
      if (!line) return std::nullopt;
      if (line->empty()) return fallback;
      char* end = nullptr;
      unsigned long n = std::strtoul(line->c_str(), &end, 10);
      if (end != line->c_str() && *end == '\0' && n >= 1 && n <= count) return n;
      print("Please answer with a number from 1 to " + std::to_string(count) + ".\n");
    }
  }

 private:
  int fd_;
};

// Columns of the terminal that standard error writes to; 80 when it is none.
size_t terminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// The text cut to at most `count` characters (code points), "…" standing for the rest.
std::string cutToCharacters(const std::string& text, size_t count) {
  std::vector<size_t> starts;  // byte offset of each character
  for (size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  if (starts.size() <= count) return text;
  if (count == 0) return "";
  return text.substr(0, starts[count - 1]) + "…";
}

// Messages and URLs come from servers: control characters (line breaks, escape
// sequences) would move the cursor or restyle the terminal, so they show as spaces.
std::string printable(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

std::string yesNo(unsigned long state) { return state ? "[Y/n]" : "[y/N]"; }

unsigned long askCheckbox(Terminal& tty, const std::string& title, unsigned long state) {
  tty.print(title + " " + yesNo(state) + " ");
  auto line = tty.readLine();
  if (!line || line->empty()) return state;
  return (*line)[0] == 'y' || (*line)[0] == 'Y' ? 1 : 0;
}

}  // namespace

bool TtyFrontEnd::terminalAttached() {
  Terminal tty;
  return tty.isOpen();
}

AlertResponse TtyFrontEnd::runModalAlert(const AlertRequest& request) {
  if (progressLineOpen_) std::fputs("\n", stderr), progressLineOpen_ = false;
  AlertResponse response;
  response.checkboxState = request.checkboxState;
  response.text = request.text;
  response.color = request.color;

  if (answerEverything_) {
    std::vector<std::string> buttons = request.buttons.empty() ? std::vector<std::string>{"OK"} : request.buttons;
    std::string text = "\n";
    if (request.title) text += "== " + *request.title + " ==\n";
    if (request.message) text += *request.message + "\n";
    if (request.accessory == AlertAccessory::Checkbox || request.accessory == AlertAccessory::Suppression)
      text += request.checkboxTitle + " " + (request.checkboxState ? "[yes]" : "[no]") + "\n";
    text += "-> " + buttons.front() + " (answered by --yes)\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    response.button = 1000;
    return response;
  }

  Terminal tty;
  tty.print("\n");
  if (request.title) tty.print("== " + *request.title + " ==\n");
  if (request.message) tty.print(*request.message + "\n");

  switch (request.accessory) {
    case AlertAccessory::None: break;
    case AlertAccessory::Checkbox:
    case AlertAccessory::Suppression:
      response.checkboxState = askCheckbox(tty, request.checkboxTitle, request.checkboxState);
      break;
    case AlertAccessory::Input:
    case AlertAccessory::SecureInput: {
      if (request.accessory == AlertAccessory::Input && !request.text.empty())
        tty.print("(Return keeps \"" + request.text + "\")\n");
      tty.print("> ");
      if (auto line = tty.readLine(request.accessory == AlertAccessory::SecureInput); line && !line->empty())
        response.text = *line;
      break;
    }
    case AlertAccessory::TextIn: {
      if (!request.text.empty()) tty.print("Current text:\n" + request.text + "\n");
      tty.print("Type the new text and end it with a line holding only \".\" (a lone \".\" keeps the text):\n");
      std::string text;
      bool any = false;
      while (auto line = tty.readLine()) {
        if (*line == ".") break;
        text += (any ? "\n" : "") + *line;
        any = true;
      }
      if (any) response.text = text;
      break;
    }
    case AlertAccessory::TextOut: tty.print("----\n" + request.text + "\n----\n"); break;
    case AlertAccessory::SelectionPopup:
    case AlertAccessory::SelectionMatrix: {
      for (size_t i = 0; i < request.choices.size(); ++i)
        tty.print("  (" + std::to_string(i + 1) + ") " + request.choices[i] + "\n");
      if (!request.choices.empty())
        if (auto n = tty.readNumber("Selection [1]: ", request.choices.size(), 1)) response.selection = *n - 1;
      break;
    }
    case AlertAccessory::ColorWell: {
      char current[96];
      std::snprintf(current, sizeof current, "%.3g %.3g %.3g %.3g", request.color.red, request.color.green,
                    request.color.blue, request.color.alpha);
      tty.print(std::string("Colour as red green blue alpha from 0 to 1 [") + current + "]: ");
      if (auto line = tty.readLine(); line && !line->empty()) {
        Color c;
        if (std::sscanf(line->c_str(), "%lf %lf %lf %lf", &c.red, &c.green, &c.blue, &c.alpha) == 4)
          response.color = c;
      }
      break;
    }
  }

  std::vector<std::string> buttons = request.buttons.empty() ? std::vector<std::string>{"OK"} : request.buttons;
  std::string row;
  for (size_t i = 0; i < buttons.size(); ++i) row += "  " + std::to_string(i + 1) + ") " + buttons[i];
  tty.print(row + "\n");
  if (buttons.size() > 1) {
    auto n = tty.readNumber("Button [1]: ", buttons.size(), 1);
    response.button = 1000 + static_cast<long>(n.value_or(1) - 1);
  } else {
    tty.print("Press Return: ");
    tty.readLine();
  }
  return response;
}

void TtyFrontEnd::showNotice(const AlertRequest& request, std::function<void(unsigned long)> onClose) {
  // A terminal cannot leave a window open beside the prompt: the notice is printed and
  // counts as dismissed at once.
  std::string text = "\n";
  if (request.title) text += "== " + *request.title + " ==\n";
  if (request.message) text += *request.message + "\n";
  std::fputs(text.c_str(), stderr);
  if (onClose) postToMainQueue([onClose, state = request.checkboxState] { onClose(state); });
}

std::string TtyFrontEnd::progressLine(const ProgressUpdate& shown, size_t width) {
  constexpr int kBarWidth = 20;
  std::string line;
  auto add = [&line](const std::string& part) { line += (line.empty() ? "" : "  ") + part; };
  if (shown.name) add(printable(*shown.name));
  if (shown.percent && std::isfinite(*shown.percent)) {
    double percent = std::clamp(*shown.percent, 0.0, 100.0);
    int filled = static_cast<int>(std::lround(percent * kBarWidth / 100));
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", static_cast<int>(std::lround(percent)));
    add("[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " + number);
  }
  if (shown.message) add(printable(*shown.message));
  if (shown.url) add(printable(*shown.url));
  // A line wider than the terminal would wrap, and rewriting it in place would then
  // leave its first part behind on every update.
  return cutToCharacters(line, width);
}

void TtyFrontEnd::updateProgress(const ProgressUpdate& update) {
  if (update.name) shown_.name = update.name;
  if (update.percent) shown_.percent = update.percent;
  if (update.url) shown_.url = update.url;
  if (update.message) shown_.message = update.message;
  std::string note;
  if (update.image) note = "(the app's icon arrived: " + printable(*update.image) + ")\n";
  if (!::isatty(STDERR_FILENO)) {
    // A log file, not a screen: no rewriting in place, one whole line per change.
    std::string line = progressLine(shown_, std::string::npos);
    if (!note.empty() || line != lastPlainLine_) std::fputs((note + line + "\n").c_str(), stderr);
    lastPlainLine_ = line;
    std::fflush(stderr);
    return;
  }
  size_t columns = terminalColumns();
  std::string text = "\r\033[K" + note + progressLine(shown_, columns > 1 ? columns - 1 : columns);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  progressLineOpen_ = true;
}

void TtyFrontEnd::closeProgress() {
  if (progressLineOpen_) std::fputs("\n", stderr);
  progressLineOpen_ = false;
  shown_ = {};
  lastPlainLine_.clear();
}

std::optional<std::string> TtyFrontEnd::chooseFolder(const FolderPanelRequest& request) {
  if (answerEverything_) {
    std::fprintf(stderr, "\n-> folder %s (answered by --yes)\n", request.directory.value_or("(none)").c_str());
    return request.directory;
  }
  Terminal tty;
  tty.print("\n");
  if (request.title) tty.print("== " + *request.title + " ==\n");
  if (request.message) tty.print(*request.message + "\n");
  tty.print("Folder" + (request.directory ? " [" + *request.directory + "]" : std::string()) +
            " (\"-\" cancels): ");
  auto line = tty.readLine();
  if (!line || *line == "-") return std::nullopt;
  if (line->empty()) return request.directory;
  return *line;
}

double TtyFrontEnd::heightForText(const std::string& text, double width) const { return lineCountForText(text, width); }

}  // namespace vantor::platform
