#include "install/MachOReader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "foundation/Format.h"

namespace vantor {
namespace {

constexpr std::uint32_t kFatMagic = 0xCAFEBABE;
constexpr std::uint32_t kThinMagic32 = 0xFEEDFACE;
constexpr std::uint32_t kThinMagic64 = 0xFEEDFACF;
constexpr std::uint32_t kLoadCommandVersionMinMacOSX = 0x24;
constexpr std::uint32_t kLoadCommandBuildVersion = 0x32;
constexpr std::uint32_t kPlatformMacOS = 1;
constexpr std::uint32_t kCPUTypeX86 = 7;
constexpr std::uint32_t kCPUArch64 = 0x01000000;
// The loader reads the architecture table from the first page only.
constexpr std::uint32_t kMaxFatSlices = (4096 - 8) / 20;
// Real executables carry a few hundred load commands; this bounds the work that a
// crafted file (a 1 GB run of 8-byte commands, the same slice listed 200 times) can cause.
constexpr std::uint64_t kLoadCommandBudget = 1u << 22;

std::uint32_t swap32(std::uint32_t v) {
  return (v >> 24) | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | (v << 24);
}

// Reads little pieces at arbitrary offsets through one cached window, so walking many
// load commands costs one disk read per 64 KiB and never reads past the file's end.
class WindowedFile {
 public:
  explicit WindowedFile(const std::string& path) {
    // Only regular files: opening a FIFO blocks, and a device may never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    in_.open(path, std::ios::binary);
    if (!in_) return;
    in_.seekg(0, std::ios::end);
    auto end = in_.tellg();
    if (end < 0) {
      in_.setstate(std::ios::failbit);
      return;
    }
    size_ = static_cast<std::uint64_t>(end);
  }

  bool isOpen() const { return in_.is_open() && static_cast<bool>(in_); }
  std::uint64_t size() const { return size_; }

  // A 32-bit value at offset in the given byte order; nothing when it lies past the end.
  std::optional<std::uint32_t> read32(std::uint64_t offset, bool bigEndian) {
    unsigned char b[4];
    if (!read(offset, b, 4)) return std::nullopt;
    std::uint32_t little = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return bigEndian ? swap32(little) : little;
  }

 private:
  bool read(std::uint64_t offset, unsigned char* out, size_t length) {
    if (offset > size_ || length > size_ - offset) return false;
    if (offset < windowStart_ || offset + length > windowStart_ + window_.size()) {
      window_.assign(static_cast<size_t>(std::min<std::uint64_t>(kWindow, size_ - offset)), 0);
      in_.clear();
      in_.seekg(static_cast<std::streamoff>(offset));
      in_.read(reinterpret_cast<char*>(window_.data()), static_cast<std::streamsize>(window_.size()));
      if (static_cast<size_t>(in_.gcount()) < length) {
        window_.clear();
        return false;
      }
      window_.resize(static_cast<size_t>(in_.gcount()));
      windowStart_ = offset;
    }
    std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(offset - windowStart_), length, out);
    return true;
  }

  static constexpr std::uint64_t kWindow = 1 << 16;
  std::ifstream in_;
  std::uint64_t size_ = 0;
  std::vector<unsigned char> window_;
  std::uint64_t windowStart_ = 0;
};

// Reads the thin header at slice.offset and walks its load commands, which must lie
// inside both the slice and the size its header declares for them.
void readThin(WindowedFile& file, MachOSlice& slice, std::uint64_t& budget) {
  std::uint64_t base = slice.offset;
  std::uint64_t end = std::min(file.size(), base + std::min(slice.size, file.size()));
  auto magic = file.read32(base, false);
  if (!magic) return;
  if (*magic == kThinMagic32 || *magic == kThinMagic64) slice.bigEndian = false;
  else if (swap32(*magic) == kThinMagic32 || swap32(*magic) == kThinMagic64) slice.bigEndian = true;
  else return;
  slice.is64Bit = (slice.bigEndian ? swap32(*magic) : *magic) == kThinMagic64;
  std::uint64_t headerSize = slice.is64Bit ? 32 : 28;
  if (end < base || end - base < headerSize) return;
  bool be = slice.bigEndian;
  auto cpuType = file.read32(base + 4, be), cpuSubtype = file.read32(base + 8, be);
  auto commandCount = file.read32(base + 16, be), commandsSize = file.read32(base + 20, be);
  if (!cpuType || !cpuSubtype || !commandCount || !commandsSize) return;
  slice.recognised = true;
  slice.cpuType = *cpuType;
  slice.cpuSubtype = *cpuSubtype;

  std::uint64_t pos = base + headerSize;
  std::uint64_t commandsEnd = std::min(end, pos + *commandsSize);
  std::optional<std::uint32_t> buildVersion;
  for (std::uint32_t i = 0; i < *commandCount && budget > 0; ++i, --budget) {
    if (commandsEnd - pos < 8) break;
    auto command = file.read32(pos, be), commandSize = file.read32(pos + 4, be);
    if (!command || !commandSize || *commandSize < 8 || *commandSize > commandsEnd - pos) break;
    if (*command == kLoadCommandVersionMinMacOSX && *commandSize >= 12) {
      if (auto version = file.read32(pos + 8, be)) {
        slice.version = MachOVersion::fromEncoded(*version);
        slice.command = "LC_VERSION_MIN_MACOSX";
        return;
      }
    } else if (*command == kLoadCommandBuildVersion && *commandSize >= 16 && !buildVersion) {
      if (file.read32(pos + 8, be) == kPlatformMacOS) buildVersion = file.read32(pos + 12, be);
    }
    pos += *commandSize;
  }
  if (buildVersion) {
    slice.version = MachOVersion::fromEncoded(*buildVersion);
    slice.command = "LC_BUILD_VERSION";
  }
}

}  // namespace

std::string MachOVersion::text() const { return makeString("%li.%li.%li", major, minor, patch); }

std::string MachOSlice::architectureName() const {
  switch (cpuType) {
    case kCPUTypeX86: return "i386";
    case kCPUTypeX86 | kCPUArch64: return (cpuSubtype & 0xFF) == 8 ? "x86_64h" : "x86_64";
    case 12: return "arm";
    case 12 | kCPUArch64: return (cpuSubtype & 0xFF) == 2 ? "arm64e" : "arm64";
    case 18: return "ppc";
    case 18 | kCPUArch64: return "ppc64";
    default: return makeString("cpu %u", cpuType);
  }
}

MachOFile MachOReader::read(const std::string& path) {
  MachOFile result;
  WindowedFile file(path);
  if (!file.isOpen()) return result;
  result.opened = true;
  std::uint64_t budget = kLoadCommandBudget;

  auto magic = file.read32(0, false);
  if (!magic) return result;
  if (*magic == kFatMagic || swap32(*magic) == kFatMagic) {
    result.fat = true;
    bool be = *magic != kFatMagic;  // the usual on-disk form is big-endian
    result.declaredSlices = file.read32(4, be).value_or(0);
    for (std::uint32_t i = 0; i < std::min(result.declaredSlices, kMaxFatSlices); ++i) {
      std::uint64_t record = 8 + std::uint64_t{20} * i;
      auto cpuType = file.read32(record, be), cpuSubtype = file.read32(record + 4, be);
      auto offset = file.read32(record + 8, be), size = file.read32(record + 12, be);
      if (!cpuType || !cpuSubtype || !offset || !size || !file.read32(record + 16, be)) break;
      MachOSlice slice;
      slice.cpuType = *cpuType;
      slice.cpuSubtype = *cpuSubtype;
      slice.offset = *offset;
      slice.size = *size;
      readThin(file, slice, budget);
      result.slices.push_back(slice);
    }
    bool anyX86 = std::any_of(result.slices.begin(), result.slices.end(),
                              [](const MachOSlice& s) { return (s.cpuType & ~kCPUArch64) == kCPUTypeX86; });
    for (const auto& slice : result.slices) {
      if (anyX86 && (slice.cpuType & ~kCPUArch64) != kCPUTypeX86) continue;
      if (slice.version > result.version) {
        result.version = slice.version;
        result.command = slice.command;
      }
    }
    return result;
  }

  MachOSlice slice;
  slice.size = file.size();
  readThin(file, slice, budget);
  result.version = slice.version;
  result.command = slice.command;
  result.slices.push_back(slice);
  return result;
}

MachOVersion MachOReader::minimumOSVersion(const std::string& path) {
  MachOFile file = read(path);
  if (!file.opened) {
    std::printf("file could not be opened %s\n", path.c_str());
    std::fflush(stdout);
  }
  return file.version;
}

}  // namespace vantor
