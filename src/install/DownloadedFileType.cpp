#include "install/DownloadedFileType.h"

#include <array>
#include <fstream>
#include <vector>

#include "foundation/StringHelpers.h"

namespace vantor {

namespace {

constexpr std::size_t kLongNameCharacters = 256;
constexpr std::size_t kShortenedNameCharacters = 30;

constexpr std::uint32_t kGzipDeflate = 0x00088B1F;
constexpr std::uint32_t kZipLocalHeader = 0x04034B50;
constexpr std::uint32_t kXar = 0x21726178;
constexpr std::uint32_t kBzip2Level1 = 0x31685A42;
constexpr std::uint32_t kBzip2Level9 = 0x39685A42;
constexpr std::uint32_t kKoly = 0x796C6F6B;
constexpr std::uint32_t kEfi = 0x20494645;
constexpr std::uint64_t kTrailerSize = 512;

std::uint32_t littleEndian(const std::array<unsigned char, 4>& bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint32_t readWord(std::ifstream& in, std::uint64_t offset) {
  std::array<unsigned char, 4> bytes{};
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
  return littleEndian(bytes);
}

}  // namespace

std::string DownloadedFileType::fileNameForDownloadURL(std::string_view downloadURL) {
  std::string name = lastPathComponent(downloadURL);
  // A URL ending in "." or ".." would name the scratch folder or its parent.
  if (name == "." || name == "..") return "download";
  std::u32string characters = toCodePoints(name);
  if (characters.size() < kLongNameCharacters) return name;
  return fromCodePoints(std::u32string_view(characters).substr(characters.size() - kShortenedNameCharacters));
}

bool DownloadedFileType::hasKnownArchiveExtension(std::string_view fileName) {
  static const std::vector<std::string> kKnown = {"dmg", "zip", "tar", "gz",   "tgz", "bz2",
                                                  "tbz", "xz",  "txz", "lzma", "pkg"};
  return equalsAny(pathExtension(fileName), kKnown);
}

DownloadedFileType::Guess DownloadedFileType::guess(const std::string& path) {
  Guess guess;
  std::ifstream in(path, std::ios::binary);
  if (in) {
    in.seekg(0, std::ios::end);
    auto end = in.tellg();
    guess.size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    guess.magic = readWord(in, 0);
  }
  guess.recognised = true;
  if (guess.magic == kGzipDeflate) {
    guess.extension = ".tgz";
  } else if (guess.magic == kZipLocalHeader) {
    guess.extension = ".zip";
  } else if (guess.magic == kXar) {
    guess.extension = ".pkg";
  } else if ((guess.magic & 0xFF) == 'x' || guess.magic == kBzip2Level1 || guess.magic == kBzip2Level9) {
    guess.extension = ".dmg";
  } else if (guess.size > kTrailerSize) {
    std::uint32_t trailer = readWord(in, guess.size - kTrailerSize);
    guess.extension = ".dmg";
    guess.recognised = trailer == kKoly || trailer == kEfi;
  } else {
    guess.extension = ".dmg";
    guess.recognised = false;
  }
  return guess;
}

}  // namespace vantor
