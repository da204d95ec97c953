#pragma once
// The main bundle: the helper's Info.plist facts (compiled in from the build settings)
// and its resources folder, found relative to the running executable:
//   <prefix>/bin/<helper>   ->  <prefix>/share/vantor
//   <build>/bin/<helper>    ->  <source>/resources  (the build tree)
// Resources that are built (the privileged tool) are installed with the others; in the
// build tree they are found beside the executable, in <build>/bin.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace vantor::platform {

class Bundle {
 public:
  static const Bundle& main();

  // CFBundleName, CFBundleIdentifier, CFBundleShortVersionString, CFBundleVersion,
  // CFBundleExecutable.
  const nlohmann::json& infoDictionary() const { return info_; }
  std::optional<std::string> objectForInfoDictionaryKey(const std::string& key) const;
  std::string bundleIdentifier() const;

  // The running executable's path (/proc/self/exe).
  const std::string& executablePath() const { return executablePath_; }
  // The resources folder; nothing when neither place exists.
  const std::optional<std::string>& resourcePath() const { return resourcePath_; }
  // The path of a resource by file name, when it exists (built resources included).
  std::optional<std::string> pathForResource(const std::string& fileName) const;
  // The folder of private frameworks and libraries shipped beside the resources
  // ("Frameworks" in the resources folder); it need not exist.
  std::optional<std::string> privateFrameworksPath() const;

  // Finds the resources for an executable at that path (exposed for tests).
  static std::optional<std::string> resourcePathForExecutable(const std::string& executablePath);

 private:
  Bundle();
  nlohmann::json info_;
  std::string executablePath_;
  std::optional<std::string> resourcePath_;
  std::optional<std::string> builtResourcePath_;
};

}  // namespace vantor::platform
