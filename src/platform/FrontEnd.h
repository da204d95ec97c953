#pragma once
// The front end: whatever shows the helper's modal alerts, its progress window and its
// folder panel to the user. One is chosen at start (VANTOR_UI) and used by every alert.
//
//   tty     prompts on the controlling terminal, numbered buttons, a progress line on
//           standard error
//   script  answers from the file VANTOR_UI_SCRIPT, one JSON line per event into
//           VANTOR_UI_TRANSCRIPT; with neither file it takes every alert's first button,
//           which is also what runs when no terminal is attached and VANTOR_UI is unset
//
// Front ends are called on the main thread only (the alert functions assert it).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::platform {

// A colour from components 0 to 1.
struct Color {
  double red = 0, green = 0, blue = 0, alpha = 1;
  bool operator==(const Color&) const = default;
};

// The extra control an alert shows under its message.
enum class AlertAccessory {
  None,
  Checkbox,        // checkboxTitle, checkboxState in and out
  Suppression,     // the "don't show again" checkbox: checkboxTitle, checkboxState out
  Input,           // one-line text field: text in and out
  SecureInput,     // the same, masked
  TextIn,          // editable multi-line text: text in and out
  TextOut,         // read-only multi-line text
  SelectionPopup,  // choices, selection out
  SelectionMatrix, // choices (already shortened for display), selection out
  ColorWell,       // color in and out
};

struct AlertRequest {
  std::string function;  // the alert function's name, as the transcript records it
  std::optional<std::string> title;
  std::optional<std::string> message;
  std::vector<std::string> buttons;  // shown in this order; the first answers 1000
  std::optional<std::string> icon;   // an image path; none keeps the application icon
  AlertAccessory accessory = AlertAccessory::None;
  std::string checkboxTitle;
  unsigned long checkboxState = 0;
  std::string text;
  std::vector<std::string> choices;
  Color color;
  bool activate = true;  // bring the application to the front first
};

struct AlertResponse {
  long button = 1000;  // 1000 + index of the pressed button
  unsigned long checkboxState = 0;
  std::string text;
  unsigned long selection = 0;
  Color color;
};

// One update of the progress window; absent fields keep what the window shows.
struct ProgressUpdate {
  std::optional<std::string> name;
  std::optional<double> percent;
  std::optional<std::string> url;
  std::optional<std::string> message;
  std::optional<std::string> image;  // path of the product's icon
};

struct FolderPanelRequest {
  std::optional<std::string> title;
  std::optional<std::string> message;
  std::optional<std::string> directory;  // where the panel starts
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // The response for the request. With no buttons the front end shows its own single
  // "OK" button, answering 1000.
  virtual AlertResponse runModalAlert(const AlertRequest& request) = 0;
  // A notice that does not wait: title, message and one button. onClose runs (on the
  // main thread) when it is dismissed, with the state of its checkbox if it has one.
  virtual void showNotice(const AlertRequest& request, std::function<void(unsigned long checkboxState)> onClose) = 0;
  virtual void updateProgress(const ProgressUpdate& update) = 0;
  virtual void closeProgress() = 0;
  // The chosen folder, or nothing when the panel was cancelled.
  virtual std::optional<std::string> chooseFolder(const FolderPanelRequest& request) = 0;
  // Records something the workspace did (reveal, open, launch), where the front end keeps
  // a record of such things; the script front end writes it to its transcript.
  virtual void recordWorkspaceEvent(const nlohmann::json& /*event*/) {}
  // Lines of text at the given width, for laying out notices.
  virtual double heightForText(const std::string& text, double width) const;
};

// The process's front end, chosen from the environment on first use.
FrontEnd& frontEnd();
// Replaces it (tests; a graphical front end later). Returns the previous one.
std::unique_ptr<FrontEnd> setFrontEnd(std::unique_ptr<FrontEnd> frontEnd);
// The front end VANTOR_UI asks for (see above).
std::unique_ptr<FrontEnd> makeFrontEndFromEnvironment();

// A choice as a selection list shows it: longer than 150 characters becomes its first
// 70 characters, " […] " and its last 70.
std::string shortenedChoice(const std::string& choice);

// Lines the text needs at `width` characters per line; a trailing line break adds no
// line, an empty text needs none.
double lineCountForText(const std::string& text, double width);

}  // namespace vantor::platform
