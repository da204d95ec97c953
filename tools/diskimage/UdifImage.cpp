#include "diskimage/UdifImage.h"

#include <bzlib.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

#include "foundation/FileHelpers.h"
#include "foundation/Json.h"
#include "foundation/StringHelpers.h"
#include "platform/ChildProcess.h"
#include "platform/PropertyList.h"

namespace vantor::diskimage {
namespace {

constexpr std::uint64_t kSector = 512;

void put32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xff));
}
void put64(std::string& out, std::uint64_t v) {
  put32(out, static_cast<std::uint32_t>(v >> 32));
  put32(out, static_cast<std::uint32_t>(v));
}
void putZeros(std::string& out, size_t n) { out.append(n, '\0'); }

// A checksum record: type, bit size, 32 words of which the first holds a CRC32.
void putChecksum(std::string& out, std::optional<std::uint32_t> crc) {
  put32(out, crc ? 2 : 0);
  put32(out, crc ? 32 : 0);
  put32(out, crc.value_or(0));
  putZeros(out, 31 * 4);
}

std::optional<std::string> compressZlib(const std::string& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(in.data()),
                static_cast<uLong>(in.size()), 6) != Z_OK)
    return std::nullopt;
  out.resize(size);
  return out;
}

std::optional<std::string> compressBzip2(const std::string& in) {
  unsigned int size = static_cast<unsigned int>(in.size() + in.size() / 100 + 600);
  std::string out(size, '\0');
  if (BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(in.data()), static_cast<unsigned int>(in.size()),
                               9, 0, 0) != BZ_OK)
    return std::nullopt;
  out.resize(size);
  return out;
}

Json dataValue(const std::string& bytes) {
  return Json::binary(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

// The resources a licence agreement brings: a language table, button texts, the text.
Json licenceResources() {
  // Default language 0; one entry: region 0 uses resource 5000, single-byte text.
  const std::string lpic("\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
  std::string buttons = std::string("\x00\x06", 2);
  for (const char* text : {"English", "Agree", "Disagree", "Print", "Save...", "Click Agree to accept."}) {
    buttons.push_back(static_cast<char>(std::string(text).size()));
    buttons += text;
  }
  auto entry = [](const std::string& bytes, const char* name) {
    return Json{{"Attributes", "0x0000"}, {"Data", dataValue(bytes)}, {"ID", "5000"}, {"Name", name}};
  };
  return Json{{"LPic", Json::array({entry(lpic, "")})},
              {"STR#", Json::array({entry(buttons, "English buttons")})},
              {"TEXT", Json::array({entry("Test licence. Use at your own risk.\r", "English SLA")})}};
}

}  // namespace

bool writeUdifImage(const std::string& diskBytes, const std::string& path, const UdifOptions& options) {
  std::string disk = diskBytes;
  if (disk.size() % kSector) disk.append(kSector - disk.size() % kSector, '\0');
  const std::uint64_t sectors = disk.size() / kSector;

  std::string dataFork;
  std::string chunkTable;
  std::uint32_t chunkCount = 0;
  size_t kindIndex = 0;
  for (std::uint64_t sector = 0; sector < sectors; sector += options.sectorsPerChunk) {
    std::uint64_t count = std::min(options.sectorsPerChunk, sectors - sector);
    std::string plain = disk.substr(sector * kSector, count * kSector);
    UdifChunk kind = options.chunks[kindIndex++ % options.chunks.size()];
    if (kind == UdifChunk::Zero && plain.find_first_not_of('\0') != std::string::npos) kind = UdifChunk::Raw;
    std::optional<std::string> packed;
    switch (kind) {
      case UdifChunk::Zero: packed = std::string(); break;
      case UdifChunk::Raw: packed = plain; break;
      case UdifChunk::Zlib: packed = compressZlib(plain); break;
      case UdifChunk::Bzip2: packed = compressBzip2(plain); break;
    }
    if (!packed) return false;
    put32(chunkTable, static_cast<std::uint32_t>(kind));
    put32(chunkTable, 0);
    put64(chunkTable, sector);
    put64(chunkTable, count);
    put64(chunkTable, dataFork.size());
    put64(chunkTable, packed->size());
    dataFork += *packed;
    ++chunkCount;
  }
  put32(chunkTable, 0xffffffff);  // terminator
  put32(chunkTable, 0);
  put64(chunkTable, sectors);
  put64(chunkTable, 0);
  put64(chunkTable, dataFork.size());
  put64(chunkTable, 0);
  ++chunkCount;

  std::optional<std::uint32_t> crc;
  if (options.crc32Checksum)
    crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(disk.data()), static_cast<uInt>(disk.size())));

  std::string mish;
  put32(mish, 0x6d697368);  // "mish"
  put32(mish, 1);
  put64(mish, 0);  // first sector
  put64(mish, sectors);
  put64(mish, 0);  // data offset
  put32(mish, 0x208);  // buffers needed
  put32(mish, 0);  // block descriptors
  putZeros(mish, 24);
  putChecksum(mish, crc);
  put32(mish, chunkCount);
  mish += chunkTable;

  Json blkx = Json::array({Json{{"Attributes", "0x0050"},
                                {"CFName", options.partitionName},
                                {"Data", dataValue(mish)},
                                {"ID", "0"},
                                {"Name", options.partitionName}}});
  Json resources = {{"blkx", blkx}};
  if (options.licenceAgreement) resources.update(licenceResources());
  auto xml = platform::xmlPropertyList(Json{{"resource-fork", resources}});
  if (!xml) return false;

  std::string koly;
  put32(koly, 0x6b6f6c79);  // "koly"
  put32(koly, 4);
  put32(koly, 512);
  put32(koly, 1);  // flattened
  put64(koly, 0);  // running data fork offset
  put64(koly, 0);  // data fork offset
  put64(koly, dataFork.size());
  put64(koly, 0);  // resource fork
  put64(koly, 0);
  put32(koly, 1);  // segment number and count
  put32(koly, 1);
  putZeros(koly, 16);  // segment id
  putChecksum(koly, std::nullopt);
  put64(koly, dataFork.size());  // XML offset and length
  put64(koly, xml->size());
  putZeros(koly, 120);
  putChecksum(koly, std::nullopt);
  put32(koly, 1);  // image variant
  put64(koly, sectors);
  putZeros(koly, 12);
  if (koly.size() != 512) return false;

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << dataFork << *xml << koly;
  return static_cast<bool>(out.flush());
}

bool damageUdifImage(const std::string& path) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  if (!file) return false;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() < 1024) return false;
  // The data fork starts at 0; its length is in the trailer.
  const unsigned char* koly = reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 512);
  std::uint64_t length = 0;
  for (int i = 32; i < 40; ++i) length = (length << 8) | koly[i];
  if (length < 64) return false;
  file.seekp(static_cast<std::streamoff>(length / 2));
  file.write("\xde\xad\xbe\xef\xde\xad\xbe\xef", 8);
  return static_cast<bool>(file.flush());
}

std::optional<std::string> makeIsoImage(const std::string& folder, const std::string& volumeName) {
  auto dir = makeTempDirectory();
  if (!dir) return std::nullopt;
  std::string iso = *dir + "/image.iso";
  std::optional<std::vector<std::string>> argv;
  if (auto tool = platform::findExecutable("genisoimage"))
    argv = std::vector<std::string>{*tool, "-quiet", "-R", "-V", volumeName, "-o", iso, folder};
  else if (auto xorriso = platform::findExecutable("xorriso"))
    argv = std::vector<std::string>{*xorriso, "-as", "mkisofs", "-quiet", "-R", "-V", volumeName, "-o", iso, folder};
  std::optional<std::string> bytes;
  if (argv) {
    platform::RunOptions run;
    run.timeoutSeconds = 60;
    if (auto result = platform::runProcess(*argv, run); result.launched && result.status == 0)
      bytes = contentsAsString(iso);
  }
  removeItem(*dir);
  return bytes;
}

}  // namespace vantor::diskimage
