#include "support/AppBundleWriter.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"
#include "platform/PropertyList.h"

namespace vantor::testing {

AppBundleWriter::AppBundleWriter(const std::string& name) {
  auto folder = makeTempDirectory();
  if (!folder) throw std::runtime_error("no scratch folder");
  scratch_ = *folder;
  path_ = scratch_ + "/" + name;
  makeFolder("Contents/MacOS");
  makeFolder("Contents/Resources");
}

AppBundleWriter::~AppBundleWriter() { removeItem(scratch_); }

void AppBundleWriter::writeInfoPlist(const Json& dictionary, Format format) const {
  if (format == Format::XML) {
    writeFile("Contents/Info.plist", platform::xmlPropertyList(dictionary).value());
  } else {
    auto bytes = platform::binaryPropertyList(dictionary).value();
    writeFile("Contents/Info.plist", std::string(bytes.begin(), bytes.end()));
  }
}

void AppBundleWriter::writeFile(const std::string& relative, const std::string& bytes) const {
  std::filesystem::path file = std::filesystem::path(path_) / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

void AppBundleWriter::makeFolder(const std::string& relative) const {
  std::filesystem::create_directories(std::filesystem::path(path_) / relative);
}

std::string AppBundleWriter::utf16(const std::string& utf8, bool bigEndian, bool byteOrderMark) {
  std::string out;
  auto unit = [&](char16_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  };
  if (byteOrderMark) unit(0xFEFF);
  for (char32_t c : toCodePoints(utf8)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      unit(static_cast<char16_t>(0xD800 + (c >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace vantor::testing
