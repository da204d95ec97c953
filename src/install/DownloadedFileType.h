#pragma once
// What the pipeline knows about a downloaded file before extraction: the name it is
// stored under, whether that name already tells the archive type, and the type its first
// bytes (or a disk image's trailer) suggest when it does not.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

class DownloadedFileType {
 public:
  DownloadedFileType() = delete;

  // The download URL's last path component; from 256 characters on only its last 30, so
  // that the name fits the file system. "." and ".." (which would name a folder) become
  // "download".
  static std::string fileNameForDownloadURL(std::string_view downloadURL);

  // Whether the name's extension (after its last dot) is one the extractors take:
  // dmg zip tar gz tgz bz2 tbz xz txz lzma pkg, compared exactly.
  static bool hasKnownArchiveExtension(std::string_view fileName);

  struct Guess {
    std::string extension;    // with its dot: ".tgz", ".zip", ".pkg", ".dmg"
    bool recognised = false;  // false: nothing matched and ".dmg" is only the fallback
    std::uint32_t magic = 0;  // the first four bytes, little-endian (missing bytes 0)
    std::uint64_t size = 0;   // the file's length
  };
  // Reads the first four bytes and, for disk images, the trailer 512 bytes before the end.
  static Guess guess(const std::string& path);
};

}  // namespace vantor
