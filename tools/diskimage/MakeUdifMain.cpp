// vantor-make-udif FOLDER VOLUME_NAME OUTPUT
// Packs the folder's contents as an ISO 9660 file system (genisoimage or xorriso) inside a
// zlib-compressed UDIF disk image. Exit status 0 on success, 1 when it fails, 2 on wrong
// usage.

#include <cstdio>
#include <filesystem>
#include <string>

#include "diskimage/UdifImage.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vantor-make-udif FOLDER VOLUME_NAME OUTPUT\n");
    return 2;
  }
  std::string folder = argv[1];
  if (!std::filesystem::is_directory(folder)) {
    std::fprintf(stderr, "vantor-make-udif: %s is not a folder\n", folder.c_str());
    return 1;
  }
  auto iso = vantor::diskimage::makeIsoImage(folder, argv[2]);
  if (!iso) {
    std::fprintf(stderr, "vantor-make-udif: no ISO image of %s (is genisoimage or xorriso installed?)\n",
                 folder.c_str());
    return 1;
  }
  // Written beside the target and renamed, so a failure leaves no half image.
  std::string output = argv[3];
  std::string partial = output + ".partial";
  if (!vantor::diskimage::writeUdifImage(*iso, partial)) {
    std::filesystem::remove(partial);
    std::fprintf(stderr, "vantor-make-udif: can not write %s\n", output.c_str());
    return 1;
  }
  std::error_code error;
  std::filesystem::rename(partial, output, error);
  if (error) {
    std::filesystem::remove(partial);
    std::fprintf(stderr, "vantor-make-udif: can not write %s: %s\n", output.c_str(), error.message().c_str());
    return 1;
  }
  return 0;
}
