#pragma once
// Disk images for tests and the demo: a disk image in the UDIF layout (compressed chunks, an XML property
// list of partition tables, a 512-byte "koly" trailer), built from the raw bytes of a
// disk or partition, and an ISO 9660 image made from a folder.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::diskimage {

enum class UdifChunk : std::uint32_t {
  Zero = 0x00000000,
  Raw = 0x00000001,
  Zlib = 0x80000005,
  Bzip2 = 0x80000006,
};

struct UdifOptions {
  // Chunk kinds used in turn for the partition's chunks.
  std::vector<UdifChunk> chunks = {UdifChunk::Zlib};
  std::uint64_t sectorsPerChunk = 512;  // 256 KiB
  // Name of the one partition, as the partition-map entry calls it.
  std::string partitionName = "whole disk (Apple_ISO : 0)";
  bool crc32Checksum = true;  // the partition's CRC32 in its block table
  bool licenceAgreement = false;  // "LPic", "STR#" and "TEXT" resources
};

// Writes the image; false when the file cannot be written.
bool writeUdifImage(const std::string& diskBytes, const std::string& path, const UdifOptions& options = {});

// Flips bytes in the middle of the first compressed chunk's data, so that extracting the
// image reports a data or checksum error while the layout stays readable.
bool damageUdifImage(const std::string& path);

// An ISO 9660 image with Rock Ridge names and symbolic links, of the folder's contents;
// nothing when no ISO maker is installed or it fails.
std::optional<std::string> makeIsoImage(const std::string& folder, const std::string& volumeName);

}  // namespace vantor::diskimage
