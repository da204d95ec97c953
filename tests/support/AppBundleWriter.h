#pragma once
// Builds application bundles for tests in a private scratch folder that is removed at
// the end: Info.plist in XML or binary form, strings files, any file inside the bundle.

#include <string>

#include "foundation/Json.h"

namespace vantor::testing {

class AppBundleWriter {
 public:
  enum class Format { XML, Binary };

  // A new bundle "<scratch>/<name>" with Contents/MacOS and Contents/Resources.
  explicit AppBundleWriter(const std::string& name = "Sample.app");
  ~AppBundleWriter();
  AppBundleWriter(const AppBundleWriter&) = delete;
  AppBundleWriter& operator=(const AppBundleWriter&) = delete;

  const std::string& path() const { return path_; }
  const std::string& scratch() const { return scratch_; }

  void writeInfoPlist(const Json& dictionary, Format format = Format::XML) const;
  // Writes bytes to a path inside the bundle ("Contents/Resources/x"), making folders.
  void writeFile(const std::string& relative, const std::string& bytes) const;
  void makeFolder(const std::string& relative) const;

  // UTF-8 text as UTF-16 of the given byte order, with or without a byte-order mark.
  static std::string utf16(const std::string& utf8, bool bigEndian, bool byteOrderMark);

 private:
  std::string scratch_;
  std::string path_;
};

}  // namespace vantor::testing
