// Request resolution and the install run of the application delegate. For now a link is
// only logged; the catalog lookup, the download sources, the confirmation and the install
// run are filled in here.
#include "shell/AppDelegate.h"

#include "foundation/Log.h"

namespace vantor {

void AppDelegate::handleURL(const std::optional<std::string>& link) {
  checkConfigFile();
  cc_log("Info: handleURL: %@", link);
}

void AppDelegate::installBID(const std::string& bundleIdentifier, const std::string& name) {
  cc_log("Info: installBID: %@ %@", bundleIdentifier, name);
}

}  // namespace vantor
