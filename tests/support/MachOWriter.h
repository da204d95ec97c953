#pragma once
// Writes small Mach-O files for tests: thin headers (32 or 64 bits, either byte order)
// with chosen load commands, and fat files around them. Fields can be overridden to
// describe damaged files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::testing {

class MachOWriter {
 public:
  static constexpr std::uint32_t kX86_64 = 0x01000007;
  static constexpr std::uint32_t kI386 = 7;
  static constexpr std::uint32_t kARM64 = 0x0100000C;

  struct Command {
    std::uint32_t command = 0;
    std::vector<std::uint32_t> words;           // after command and size
    std::optional<std::uint32_t> sizeOverride;  // the declared size; default 8 + 4 * words
  };
  static Command versionMin(int major, int minor, int patch);               // LC_VERSION_MIN_MACOSX
  static Command buildVersion(std::uint32_t platform, int major, int minor, int patch);  // LC_BUILD_VERSION
  static Command filler(std::uint32_t command, std::uint32_t words);        // anything else
  static std::uint32_t encode(int major, int minor, int patch);

  struct Thin {
    bool is64Bit = true;
    bool bigEndian = false;
    std::uint32_t cpuType = kX86_64;
    std::uint32_t cpuSubtype = 3;
    std::vector<Command> commands;
    std::optional<std::uint32_t> commandCountOverride;
    std::optional<std::uint32_t> commandsSizeOverride;
  };
  static std::string thin(const Thin& file);

  struct Slice {
    std::string bytes;
    std::uint32_t cpuType = kX86_64;
    std::uint32_t cpuSubtype = 3;
    std::optional<std::uint32_t> offsetOverride;
    std::optional<std::uint32_t> sizeOverride;
  };
  // Slices aligned to 4096 bytes; the header big-endian as on disk unless asked otherwise.
  static std::string fat(const std::vector<Slice>& slices, bool bigEndian = true,
                         std::optional<std::uint32_t> sliceCountOverride = std::nullopt);
};

}  // namespace vantor::testing
