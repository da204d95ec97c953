#pragma once
// The modal alerts: each shows its prompt through the front end, logs the prompt before
// and the result after (level 3, newlines removed), and returns the pressed button's code:
// 1000, 1001, 1002 for the first, second, third button shown. An absent button title adds
// no button; with none at all the front end shows a single "OK" (1000). Main thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FrontEnd.h"

namespace vantor {

using Text = std::optional<std::string>;
using Color = platform::Color;

inline constexpr long kAlertFirstButtonReturn = 1000;
inline constexpr long kAlertSecondButtonReturn = 1001;
inline constexpr long kAlertThirdButtonReturn = 1002;

long alert_customicon(const Text& title, const Text& message, const Text& defaultButton,
                      const Text& alternateButton, const Text& otherButton, const Text& icon);
long alert(const Text& title, const Text& message, const Text& defaultButton, const Text& alternateButton = std::nullopt,
           const Text& otherButton = std::nullopt);
// alert with the application's name as title.
long alert_apptitled(const Text& message, const Text& defaultButton, const Text& alternateButton = std::nullopt,
                     const Text& otherButton = std::nullopt);

// The first three buttons, and a checkbox whose state goes in and comes back in *state.
long alert_checkbox(const Text& title, const Text& message, const std::vector<std::string>& buttons,
                    const std::string& checkboxTitle, unsigned long* state);
// A one-line field (masked when secure); its text comes back in *result.
long _alert_input(const Text& prompt, const std::vector<std::string>& buttons, std::string* result, bool secure);
long alert_input(const Text& prompt, const std::vector<std::string>& buttons, std::string* result);
long alert_inputsecure(const Text& prompt, const std::vector<std::string>& buttons, std::string* result);
long alert_colorwell(const Text& prompt, const std::vector<std::string>& buttons, Color* color);
// Multi-line text, editable (in and out) or read-only.
long alert_inputtext(const Text& prompt, const std::vector<std::string>& buttons, std::string* text);
long alert_outputtext(const Text& prompt, const std::vector<std::string>& buttons, const std::string& text);
// One choice from a list; its index comes back in *index / *row. The matrix shows choices
// longer than 150 characters shortened.
long alert_selection_popup(const Text& prompt, const std::vector<std::string>& choices,
                           const std::vector<std::string>& buttons, unsigned long* index);
long alert_selection_matrix(const Text& prompt, const std::vector<std::string>& choices,
                            const std::vector<std::string>& buttons, unsigned long* row);

// Alerts with a "don't show again" checkbox whose answer is kept in the user defaults
// under "_<identifier>_<version>_asked" / "_<identifier>_asked". Any thread: off the main
// thread the alert is queued onto the main queue.
void alert_dontwarnagain_version(const std::string& identifier, const Text& title, const Text& message,
                                 const Text& button, const std::string& suppressionTitle);
void alert_dontwarnagain_ever(const std::string& identifier, const Text& title, const Text& message,
                              const Text& button, const std::string& suppressionTitle);

// Notices that do not wait; the completion runs when the notice is closed.
void alert_nonmodal(const Text& title, const Text& message, const Text& button);
void alert_nonmodal_checkbox(const Text& title, const Text& message, const Text& button,
                             const std::string& checkboxTitle, unsigned long state,
                             std::function<void(unsigned long state)> completion);

namespace detail {
// alert without the main-thread check, for the fatal-error path when the main thread is
// blocked (for instance waiting for the very thread that failed).
long alertOffMainThread(const Text& title, const Text& message, const Text& defaultButton,
                        const Text& alternateButton, const Text& otherButton);
}  // namespace detail

// The progress window and the folder panel, through the same front end.
void showProgress(const platform::ProgressUpdate& update);
void closeProgress();
std::optional<std::string> chooseFolder(const platform::FolderPanelRequest& request);

}  // namespace vantor
