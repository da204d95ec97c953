#include "foundation/Alerts.h"

#include "foundation/Assert.h"
#include "foundation/Dispatch.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/UserDefaultsHelpers.h"
#include "platform/Bundle.h"

namespace vantor {
namespace {

using platform::AlertAccessory;
using platform::AlertRequest;
using platform::AlertResponse;

Text stripped(const Text& text) {
  if (!text) return std::nullopt;
  return strippedOfNewlines(*text);
}

std::vector<std::string> buttonsFrom(std::initializer_list<const Text*> titles) {
  std::vector<std::string> buttons;
  for (const Text* title : titles)
    if (*title) buttons.push_back(**title);
  return buttons;
}

std::vector<std::string> firstThree(const std::vector<std::string>& buttons) {
  return {buttons.begin(), buttons.begin() + static_cast<long>(std::min<size_t>(buttons.size(), 3))};
}

AlertResponse run(const AlertRequest& request) { return platform::frontEnd().runModalAlert(request); }

Text appName() { return platform::Bundle::main().objectForInfoDictionaryKey("CFBundleName"); }

AlertRequest promptRequest(const char* function, const Text& prompt, const std::vector<std::string>& buttons,
                           AlertAccessory accessory) {
  AlertRequest request;
  request.function = function;
  request.title = prompt;
  request.buttons = buttons;
  request.accessory = accessory;
  return request;
}

void showDontWarnAgain(const char* function, const std::string& key, const char* logWord, const Text& title,
                       const Text& message, const Text& button, const std::string& suppressionTitle) {
  auto show = [=] {
    if (defaultInt(key) != 0) return;
    cc_log_error("Alert %@: %@ - %@", logWord, stripped(title), stripped(message));
    AlertRequest request;
    request.function = function;
    request.title = title;
    request.message = message;
    request.buttons = buttonsFrom({&button});
    request.accessory = AlertAccessory::Suppression;
    request.checkboxTitle = suppressionTitle;
    AlertResponse response = run(request);
    cc_log_error("Alert %@: finished", logWord);
    setDefaultInt(key, response.checkboxState ? 1 : 0);
  };
  if (isMainThread()) show();
  else dispatch_async_main(show);
}

}  // namespace

namespace {
long alertUnchecked(const Text& title, const Text& message, const Text& defaultButton, const Text& alternateButton,
                    const Text& otherButton, const Text& icon) {
  cc_log_error("Alert: %@ - %@", stripped(title), stripped(message));
  AlertRequest request;
  request.function = "alert";
  request.title = title;
  request.message = message;
  request.buttons = buttonsFrom({&defaultButton, &alternateButton, &otherButton});
  request.icon = icon;
  long result = run(request).button;
  cc_log_error("Alert: finished %li", result);
  return result;
}
}  // namespace

long alert_customicon(const Text& title, const Text& message, const Text& defaultButton,
                      const Text& alternateButton, const Text& otherButton, const Text& icon) {
  VANTOR_ASSERT(isMainThread());
  return alertUnchecked(title, message, defaultButton, alternateButton, otherButton, icon);
}

long detail::alertOffMainThread(const Text& title, const Text& message, const Text& defaultButton,
                                const Text& alternateButton, const Text& otherButton) {
  return alertUnchecked(title, message, defaultButton, alternateButton, otherButton, std::nullopt);
}

long alert(const Text& title, const Text& message, const Text& defaultButton, const Text& alternateButton,
           const Text& otherButton) {
  return alert_customicon(title, message, defaultButton, alternateButton, otherButton, std::nullopt);
}

long alert_apptitled(const Text& message, const Text& defaultButton, const Text& alternateButton,
                     const Text& otherButton) {
  return alert(appName(), message, defaultButton, alternateButton, otherButton);
}

long alert_checkbox(const Text& title, const Text& message, const std::vector<std::string>& buttons,
                    const std::string& checkboxTitle, unsigned long* state) {
  VANTOR_ASSERT(isMainThread());
  VANTOR_ASSERT(state != nullptr);
  cc_log_error("Alert Checkbox: %@ - %@", stripped(title), stripped(message));
  AlertRequest request;
  request.function = "alert_checkbox";
  request.title = title;
  request.message = message;
  request.buttons = firstThree(buttons);
  request.accessory = AlertAccessory::Checkbox;
  request.checkboxTitle = checkboxTitle;
  request.checkboxState = *state;
  request.activate = false;
  AlertResponse response = run(request);
  *state = response.checkboxState;
  cc_log_error("Alert Checkbox: finished %li %lu", response.button, *state);
  return response.button;
}

long _alert_input(const Text& prompt, const std::vector<std::string>& buttons, std::string* result, bool secure) {
  VANTOR_ASSERT(isMainThread());
  VANTOR_ASSERT(result != nullptr);
  cc_log_error("Alert Input: %@", stripped(prompt));
  auto request = promptRequest(secure ? "alert_inputsecure" : "alert_input", prompt, buttons,
                               secure ? AlertAccessory::SecureInput : AlertAccessory::Input);
  request.text = *result;
  AlertResponse response = run(request);
  *result = response.text;
  cc_log_error("Alert Input: finished %li", response.button);
  return response.button;
}

long alert_input(const Text& prompt, const std::vector<std::string>& buttons, std::string* result) {
  return _alert_input(prompt, buttons, result, false);
}

long alert_inputsecure(const Text& prompt, const std::vector<std::string>& buttons, std::string* result) {
  return _alert_input(prompt, buttons, result, true);
}

long alert_colorwell(const Text& prompt, const std::vector<std::string>& buttons, Color* color) {
  VANTOR_ASSERT(isMainThread());
  VANTOR_ASSERT(color != nullptr);
  cc_log_error("Alert Colorwell: %@", stripped(prompt));
  auto request = promptRequest("alert_colorwell", prompt, buttons, AlertAccessory::ColorWell);
  request.color = *color;
  AlertResponse response = run(request);
  *color = response.color;
  cc_log_error("Alert Colorwell: finished %li", response.button);
  return response.button;
}

long alert_inputtext(const Text& prompt, const std::vector<std::string>& buttons, std::string* text) {
  VANTOR_ASSERT(isMainThread());
  VANTOR_ASSERT(text != nullptr);
  cc_log_error("Alert Inputtext: %@", stripped(prompt));
  auto request = promptRequest("alert_inputtext", prompt, buttons, AlertAccessory::TextIn);
  request.text = *text;
  AlertResponse response = run(request);
  *text = response.text;
  cc_log_error("Alert Inputtext: finished %li %@", response.button, *text);
  return response.button;
}

long alert_outputtext(const Text& prompt, const std::vector<std::string>& buttons, const std::string& text) {
  VANTOR_ASSERT(isMainThread());
  cc_log_error("Alert Outputtext: %@", stripped(prompt));
  auto request = promptRequest("alert_outputtext", prompt, buttons, AlertAccessory::TextOut);
  request.text = text;
  long result = run(request).button;
  cc_log_error("Alert Outputtext: finished %li", result);
  return result;
}

long alert_selection_popup(const Text& prompt, const std::vector<std::string>& choices,
                           const std::vector<std::string>& buttons, unsigned long* index) {
  VANTOR_ASSERT(isMainThread());
  VANTOR_ASSERT(index != nullptr);
  cc_log_error("Alert Selectionpopup: %@", stripped(prompt));
  auto request = promptRequest("alert_selection_popup", prompt, buttons, AlertAccessory::SelectionPopup);
  request.choices = choices;
  AlertResponse response = run(request);
  *index = response.selection;
  cc_log_error("Alert Selectionpopup: finished %li %lu", response.button, *index);
  return response.button;
}

long alert_selection_matrix(const Text& prompt, const std::vector<std::string>& choices,
                            const std::vector<std::string>& buttons, unsigned long* row) {
  VANTOR_ASSERT(isMainThread());
  VANTOR_ASSERT(row != nullptr);
  cc_log_error("Alert Selectionmatrix: %@", stripped(prompt));
  auto request = promptRequest("alert_selection_matrix", prompt, buttons, AlertAccessory::SelectionMatrix);
  for (const auto& choice : choices) request.choices.push_back(platform::shortenedChoice(choice));
  AlertResponse response = run(request);
  *row = response.selection;
  cc_log_error("Alert Selectionmatrix: finished %li %lu", response.button, *row);
  return response.button;
}

void alert_dontwarnagain_version(const std::string& identifier, const Text& title, const Text& message,
                                 const Text& button, const std::string& suppressionTitle) {
  Text version = platform::Bundle::main().objectForInfoDictionaryKey("CFBundleShortVersionString");
  showDontWarnAgain("alert_dontwarnagain_version", makeString("_%@_%@_asked", identifier, version), "Dontwarnagain",
                    title, message, button, suppressionTitle);
}

void alert_dontwarnagain_ever(const std::string& identifier, const Text& title, const Text& message,
                              const Text& button, const std::string& suppressionTitle) {
  showDontWarnAgain("alert_dontwarnagain_ever", makeString("_%@_asked", identifier), "Dontwarnagainever", title,
                    message, button, suppressionTitle);
}

void alert_nonmodal(const Text& title, const Text& message, const Text& button) {
  AlertRequest request;
  request.function = "alert_nonmodal";
  request.title = title;
  request.message = message;
  request.buttons = buttonsFrom({&button});
  request.icon = platform::Bundle::main().pathForResource("AppIcon.png");
  dispatch_async_main([request] { platform::frontEnd().showNotice(request, nullptr); });
}

void alert_nonmodal_checkbox(const Text& title, const Text& message, const Text& button,
                             const std::string& checkboxTitle, unsigned long state,
                             std::function<void(unsigned long)> completion) {
  AlertRequest request;
  request.function = "alert_nonmodal_checkbox";
  request.title = title;
  request.message = message;
  request.buttons = buttonsFrom({&button});
  request.icon = platform::Bundle::main().pathForResource("AppIcon.png");
  request.accessory = AlertAccessory::Checkbox;
  request.checkboxTitle = checkboxTitle;
  request.checkboxState = state;
  dispatch_async_main([request, completion] { platform::frontEnd().showNotice(request, completion); });
}

void showProgress(const platform::ProgressUpdate& update) {
  VANTOR_ASSERT(isMainThread());
  platform::frontEnd().updateProgress(update);
}

void closeProgress() {
  VANTOR_ASSERT(isMainThread());
  platform::frontEnd().closeProgress();
}

std::optional<std::string> chooseFolder(const platform::FolderPanelRequest& request) {
  VANTOR_ASSERT(isMainThread());
  return platform::frontEnd().chooseFolder(request);
}

}  // namespace vantor
