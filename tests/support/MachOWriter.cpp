#include "support/MachOWriter.h"

namespace vantor::testing {
namespace {

void put32(std::string& out, std::uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    int shift = bigEndian ? 24 - 8 * i : 8 * i;
    out += static_cast<char>(v >> shift & 0xFF);
  }
}

}  // namespace

std::uint32_t MachOWriter::encode(int major, int minor, int patch) {
  return static_cast<std::uint32_t>(major) << 16 | static_cast<std::uint32_t>(minor) << 8 |
         static_cast<std::uint32_t>(patch);
}

MachOWriter::Command MachOWriter::versionMin(int major, int minor, int patch) {
  return {0x24, {encode(major, minor, patch), encode(major, minor, 0)}, std::nullopt};
}

MachOWriter::Command MachOWriter::buildVersion(std::uint32_t platform, int major, int minor, int patch) {
  return {0x32, {platform, encode(major, minor, patch), encode(major, minor, 0), 0}, std::nullopt};
}

MachOWriter::Command MachOWriter::filler(std::uint32_t command, std::uint32_t words) {
  return {command, std::vector<std::uint32_t>(words, 0), std::nullopt};
}

std::string MachOWriter::thin(const Thin& file) {
  std::string commands;
  for (const auto& c : file.commands) {
    put32(commands, c.command, file.bigEndian);
    put32(commands, c.sizeOverride.value_or(8 + 4 * static_cast<std::uint32_t>(c.words.size())), file.bigEndian);
    for (auto w : c.words) put32(commands, w, file.bigEndian);
  }
  std::string out;
  put32(out, file.is64Bit ? 0xFEEDFACF : 0xFEEDFACE, file.bigEndian);
  put32(out, file.cpuType, file.bigEndian);
  put32(out, file.cpuSubtype, file.bigEndian);
  put32(out, 2, file.bigEndian);  // executable
  put32(out, file.commandCountOverride.value_or(static_cast<std::uint32_t>(file.commands.size())), file.bigEndian);
  put32(out, file.commandsSizeOverride.value_or(static_cast<std::uint32_t>(commands.size())), file.bigEndian);
  put32(out, 0, file.bigEndian);  // flags
  if (file.is64Bit) put32(out, 0, file.bigEndian);
  return out + commands;
}

std::string MachOWriter::fat(const std::vector<Slice>& slices, bool bigEndian,
                             std::optional<std::uint32_t> sliceCountOverride) {
  constexpr std::uint32_t kAlign = 4096;
  std::string header;
  put32(header, 0xCAFEBABE, bigEndian);
  put32(header, sliceCountOverride.value_or(static_cast<std::uint32_t>(slices.size())), bigEndian);
  std::string body;
  std::uint32_t next = kAlign;
  for (const auto& s : slices) {
    put32(header, s.cpuType, bigEndian);
    put32(header, s.cpuSubtype, bigEndian);
    put32(header, s.offsetOverride.value_or(next), bigEndian);
    put32(header, s.sizeOverride.value_or(static_cast<std::uint32_t>(s.bytes.size())), bigEndian);
    put32(header, 12, bigEndian);
    body.resize(next - kAlign, '\0');
    body += s.bytes;
    next += (static_cast<std::uint32_t>(s.bytes.size()) + kAlign - 1) / kAlign * kAlign;
  }
  header.resize(kAlign, '\0');
  return header + body;
}

}  // namespace vantor::testing
