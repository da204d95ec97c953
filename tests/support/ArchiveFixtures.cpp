#include "support/ArchiveFixtures.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "foundation/FileHelpers.h"
#include "support/TestSupport.h"
#include "platform/ChildProcess.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;
constexpr std::uint32_t kMiB = 1024 * 1024;

void put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xff));
  out.push_back(static_cast<char>((v >> 8) & 0xff));
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xffff);
  put16(out, v >> 16);
}

// Raw deflate of the bytes; with Z_FULL_FLUSH the output is byte-aligned and refers to
// nothing before it, so copies of it can be laid end to end.
std::string deflateRaw(const std::string& input, int flush) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(input.size())) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, flush);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

struct ZeroStream {
  std::string deflated;
  std::uint32_t crc = 0;
};

// expandedMiB MiB of zeros after `prefix`, then `suffix` zero bytes, as one deflate stream.
ZeroStream deflatedZeros(const std::string& prefix, std::uint32_t expandedMiB, std::uint32_t suffix) {
  const std::string mebibyte(kMiB, '\0');
  const std::string block = deflateRaw(mebibyte, Z_FULL_FLUSH);
  const uLong blockCrc = crc32(0, reinterpret_cast<const Bytef*>(mebibyte.data()), kMiB);
  ZeroStream result;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(prefix.data()), static_cast<uInt>(prefix.size()));
  if (!prefix.empty()) result.deflated = deflateRaw(prefix, Z_FULL_FLUSH);
  result.deflated.reserve(result.deflated.size() + block.size() * expandedMiB + 64);
  for (std::uint32_t i = 0; i < expandedMiB; ++i) {
    result.deflated += block;
    crc = crc32_combine(crc, blockCrc, kMiB);
  }
  const std::string tail(suffix, '\0');
  result.deflated += deflateRaw(tail, Z_FINISH);
  crc = crc32_combine(crc, crc32(0, reinterpret_cast<const Bytef*>(tail.data()), suffix), suffix);
  result.crc = static_cast<std::uint32_t>(crc);
  return result;
}

bool writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out.flush());
}

std::string octal(std::uint64_t value, size_t width) {
  std::string digits(width - 1, '0');
  for (size_t i = width - 1; i-- > 0 && value; value >>= 3) digits[i] = static_cast<char>('0' + (value & 7));
  return digits + std::string(1, '\0');
}

}  // namespace

void writeAppBundle(const std::string& folder, const std::string& name) {
  const std::string contents = folder + "/" + name + ".app/Contents";
  writeFile(contents + "/Info.plist",
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>CFBundleIdentifier</key><string>com.example." + name + "</string>"
                "<key>CFBundleShortVersionString</key><string>2.1</string></dict></plist>\n");
  const std::string executable = contents + "/MacOS/" + name;
  writeFile(executable, "#!/bin/sh\necho " + name + "\n");
  ::chmod(executable.c_str(), 0755);
  const std::string framework = contents + "/Frameworks/Kit.framework";
  writeFile(framework + "/Versions/A/Kit", "kit binary");
  ::chmod((framework + "/Versions/A/Kit").c_str(), 0755);
  writeFile(framework + "/Versions/A/Resources/Info.plist", "<plist/>\n");
  fs::create_directory_symlink("A", framework + "/Versions/Current");
  fs::create_symlink("Versions/Current/Kit", framework + "/Kit");
  fs::create_directory_symlink("Versions/Current/Resources", framework + "/Resources");
}

bool runBsdtar(const std::vector<std::string>& arguments, const std::string& workingDirectory, std::string* output) {
  auto bsdtar = platform::findExecutable("bsdtar");
  if (!bsdtar) return false;
  std::vector<std::string> argv{*bsdtar};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  platform::RunOptions options;
  options.workingDirectory = workingDirectory;
  options.timeoutSeconds = 60;
  auto result = platform::runProcess(argv, options);
  if (output != nullptr) *output = result.output;
  return result.launched && result.status == 0 && !result.timedOut;
}

bool writeZipBomb(const std::string& path, std::uint32_t expandedMiB) {
  if (expandedMiB >= 4096) return false;
  const std::string name = "bomb.bin";
  ZeroStream data = deflatedZeros("", expandedMiB, 0);
  const std::uint32_t size = expandedMiB * kMiB;
  const auto packed = static_cast<std::uint32_t>(data.deflated.size());
  auto common = [&](std::string& out) {
    put16(out, 20);  // version needed
    put16(out, 0);   // flags
    put16(out, 8);   // deflate
    put16(out, 0);   // time
    put16(out, 0x21);  // date 1980-01-01
    put32(out, data.crc);
    put32(out, packed);
    put32(out, size);
    put16(out, static_cast<std::uint32_t>(name.size()));
    put16(out, 0);  // extra
  };
  std::string zip;
  put32(zip, 0x04034b50);
  common(zip);
  zip += name + data.deflated;
  const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
  std::string directory;
  put32(directory, 0x02014b50);
  put16(directory, 0x0314);  // made by: Unix, 2.0
  common(directory);
  put16(directory, 0);  // comment
  put16(directory, 0);  // disk
  put16(directory, 0);  // internal attributes
  put32(directory, 0100644u << 16);
  put32(directory, 0);  // local header offset
  directory += name;
  zip += directory;
  put32(zip, 0x06054b50);
  put16(zip, 0);
  put16(zip, 0);
  put16(zip, 1);
  put16(zip, 1);
  put32(zip, static_cast<std::uint32_t>(directory.size()));
  put32(zip, directoryOffset);
  put16(zip, 0);
  return writeBytes(path, zip);
}

bool writeTarGzBomb(const std::string& path, std::uint32_t expandedMiB) {
  std::string header(512, '\0');
  auto field = [&](size_t offset, const std::string& value) { header.replace(offset, value.size(), value); };
  field(0, "bomb.bin");
  field(100, octal(0644, 8));
  field(108, octal(0, 8));
  field(116, octal(0, 8));
  field(124, octal(static_cast<std::uint64_t>(expandedMiB) * kMiB, 12));
  field(136, octal(0, 12));
  field(148, "        ");
  header[156] = '0';
  field(257, std::string("ustar\0" "00", 8));
  unsigned sum = 0;
  for (unsigned char c : header) sum += c;
  field(148, octal(sum, 7) + " ");

  ZeroStream data = deflatedZeros(header, expandedMiB, 1024);  // two zero blocks end the tar
  std::string gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  gz += data.deflated;
  put32(gz, data.crc);
  put32(gz, static_cast<std::uint32_t>((static_cast<std::uint64_t>(expandedMiB) * kMiB + 512 + 1024) & 0xffffffffu));
  return writeBytes(path, gz);
}

std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vantor::test
