// The application delegate's loading step: the catalog of the product's main application,
// read once per process at the start of the first request.
#include "catalog/ConfigFile.h"
#include "foundation/Alerts.h"
#include "foundation/FileHelpers.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "platform/RunLoop.h"
#include "shell/AppDelegate.h"

namespace vantor {

namespace {

// The product application's folder, not the helper's own support folder.
constexpr const char* kCatalogPath = "~/Library/Application Support/Vantor/config.json.encr";

// The catalog at the path, or nothing with the reason in *why.
std::shared_ptr<const ConfigFile> loadCatalog(const std::string& path, std::string* why) {
  if (!fileExists(path)) {
    *why = "there is no catalog file";
    return nullptr;
  }
  auto data = contents(path);
  if (!data) {
    *why = "the catalog file can not be read";
    return nullptr;
  }
  Error error;
  auto text = ConfigFile::uncompressConfigFile(&*data, &error);
  if (!text) {
    *why = error.description();
    return nullptr;
  }
  auto catalog = ConfigFile::configFileWithJSONData(std::move(*text));
  // A catalog that every lookup would fail on is refused here, not at the first lookup.
  if (!catalog || !catalog->hasBundleIDMapping()) {
    *why = "the catalog is not a JSON object with a \"bundleIDMapping\" object";
    return nullptr;
  }
  return std::make_shared<const ConfigFile>(std::move(*catalog));
}

}  // namespace

bool AppDelegate::checkConfigFile() {
  if (configFile()) return true;
  std::string path = expanded(kCatalogPath);
  std::string why;
  if (auto catalog = loadCatalog(path, &why)) {
    setConfigFile(std::move(catalog));
    return true;
  }
  cc_log_error("Error: the catalog %@ can not be used: %@", path, why);
  alert("Fatal Error", "Please launch Vantor at least once before using it to install apps.", "OK");
  platform::exitProcess(1);
}

}  // namespace vantor
