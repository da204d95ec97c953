#pragma once
// Whole-buffer compression and decompression through a streaming coder, in the shape the
// rest of the system expects: an algorithm index, an operation, and nothing on failure.
//
// Algorithm indexes: 0 = LZ4 (LZ4 frame format), 1 = zlib (raw DEFLATE, no zlib header),
// 2 = LZMA (xz container), 3 = LZFSE (no coder on this system: always nothing).
// Operations: 0 = encode, 1 = decode.
//
// The output is produced 4096 bytes at a time, in at most 10000 coder steps, so a result
// larger than about 40 MB fails. Empty input, an unknown index or operation, a damaged
// stream and a truncated stream give nothing.

#include <optional>
#include <string_view>

#include "foundation/Bytes.h"

namespace vantor {

enum CompressionAlgorithmIndex : int {
  kCompressionLZ4 = 0,
  kCompressionZlib = 1,
  kCompressionLZMA = 2,
  kCompressionLZFSE = 3,
};

enum CompressionOperation : int {
  kCompressionEncode = 0,
  kCompressionDecode = 1,
};

inline constexpr size_t kCompressionBufferSize = 4096;
inline constexpr int kCompressionMaximumSteps = 10000;

std::optional<Bytes> lam_dataUsingCompression(std::string_view data, int algorithm, int operation);
std::optional<Bytes> lam_dataUsingCompression(const Bytes& data, int algorithm, int operation);

// lam_dataUsingCompression with the decode operation.
std::optional<Bytes> lam_uncompressedDataUsingCompression(std::string_view data, int algorithm);
std::optional<Bytes> lam_uncompressedDataUsingCompression(const Bytes& data, int algorithm);

// lam_dataUsingCompression with the encode operation.
std::optional<Bytes> lam_compressedDataUsingCompression(std::string_view data, int algorithm);
std::optional<Bytes> lam_compressedDataUsingCompression(const Bytes& data, int algorithm);

}  // namespace vantor
