#pragma once
// Reads the minimum system version that a Mach-O executable asks for, from its load
// commands, without loading the file: fat and thin files, 32 and 64 bits, either byte
// order. Damaged or foreign files give zeros; nothing past the end is ever read.

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

// A version in the load commands' nibble encoding xxxx.yy.zz; all zero when unknown.
struct MachOVersion {
  long major = 0;
  long minor = 0;
  long patch = 0;

  static MachOVersion fromEncoded(std::uint32_t encoded) {
    return {static_cast<long>(encoded >> 16), static_cast<long>(encoded >> 8 & 0xFF), static_cast<long>(encoded & 0xFF)};
  }
  bool isZero() const { return major == 0 && minor == 0 && patch == 0; }
  std::string text() const;  // "%li.%li.%li"
  auto operator<=>(const MachOVersion&) const = default;
};

struct MachOSlice {
  std::uint32_t cpuType = 0;
  std::uint32_t cpuSubtype = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;        // of the slice; the rest of the file for a thin file
  bool recognised = false;       // a thin header was found and read
  bool is64Bit = false;
  bool bigEndian = false;
  MachOVersion version;
  std::string command;           // the load command the version came from, or empty

  std::string architectureName() const;  // "x86_64", "arm64", ... or "cpu <n>"
};

struct MachOFile {
  bool opened = false;
  bool fat = false;
  std::uint32_t declaredSlices = 0;  // from the fat header
  std::vector<MachOSlice> slices;    // one for a thin file
  MachOVersion version;              // the triple that counts for the whole file
  std::string command;               // where it came from, or empty
};

class MachOReader {
 public:
  // Every slice and the deciding triple. A thin file stops at its first
  // LC_VERSION_MIN_MACOSX; without one, the first LC_BUILD_VERSION for macOS counts. In
  // a fat file the slices that run on x86-64 hosts decide when there are any, else all;
  // among them the highest triple wins (the first of equals).
  static MachOFile read(const std::string& path);

  // The deciding triple; a file that cannot be opened prints
  // "file could not be opened %s\n" to standard output and gives zeros.
  static MachOVersion minimumOSVersion(const std::string& path);
};

}  // namespace vantor
