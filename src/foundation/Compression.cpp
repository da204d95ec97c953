#include "foundation/Compression.h"

#include <lz4frame.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace vantor {

namespace {

enum class StepStatus { Ok, End, Error };

// One streaming coder. A step reads from [src, src + srcLength) and writes into
// [dst, dst + dstLength); both are advanced past what was consumed and produced.
class Coder {
 public:
  virtual ~Coder() = default;
  virtual bool start() = 0;
  // The size the whole result is expected to have, when the stream tells; 0 otherwise.
  virtual size_t expectedOutputSize(std::string_view /*input*/) const { return 0; }
  virtual StepStatus step(const std::uint8_t*& src, size_t& srcLength, std::uint8_t*& dst, size_t& dstLength) = 0;
};

// A dictionary larger than this is refused instead of allocated; xz's strongest preset
// needs 65 MiB to decode.
constexpr size_t kCompressionOutputSlack = 64;

constexpr std::uint64_t kLZMAMemoryLimit = 256u << 20;

class LZMACoder final : public Coder {
 public:
  explicit LZMACoder(bool decode) : decode_(decode) {}
  ~LZMACoder() override { lzma_end(&stream_); }

  bool start() override {
    lzma_ret ret = decode_ ? lzma_stream_decoder(&stream_, kLZMAMemoryLimit, 0)
                           : lzma_easy_encoder(&stream_, 6, LZMA_CHECK_CRC64);
    return ret == LZMA_OK;
  }

  // An xz stream ends with an index that records the uncompressed size.
  size_t expectedOutputSize(std::string_view input) const override {
    if (!decode_ || input.size() < 2 * LZMA_STREAM_HEADER_SIZE) return 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(input.data());
    lzma_stream_flags footer;
    if (lzma_stream_footer_decode(&footer, bytes + input.size() - LZMA_STREAM_HEADER_SIZE) != LZMA_OK) return 0;
    if (footer.backward_size > input.size() - 2 * LZMA_STREAM_HEADER_SIZE) return 0;
    lzma_index* index = nullptr;
    std::uint64_t memoryLimit = 1u << 20;
    size_t position = 0;
    const std::uint8_t* indexStart = bytes + input.size() - LZMA_STREAM_HEADER_SIZE - footer.backward_size;
    if (lzma_index_buffer_decode(&index, &memoryLimit, nullptr, indexStart, &position, footer.backward_size) != LZMA_OK)
      return 0;
    std::uint64_t size = lzma_index_uncompressed_size(index);
    lzma_index_end(index, nullptr);
    return static_cast<size_t>(std::min<std::uint64_t>(size, SIZE_MAX));
  }

  StepStatus step(const std::uint8_t*& src, size_t& srcLength, std::uint8_t*& dst, size_t& dstLength) override {
    stream_.next_in = src;
    stream_.avail_in = srcLength;
    stream_.next_out = dst;
    stream_.avail_out = dstLength;
    lzma_ret ret = lzma_code(&stream_, LZMA_FINISH);
    src = stream_.next_in;
    srcLength = stream_.avail_in;
    dst = stream_.next_out;
    dstLength = stream_.avail_out;
    if (ret == LZMA_STREAM_END) return StepStatus::End;
    return ret == LZMA_OK ? StepStatus::Ok : StepStatus::Error;
  }

 private:
  bool decode_;
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

class ZlibCoder final : public Coder {
 public:
  explicit ZlibCoder(bool decode) : decode_(decode) {}
  ~ZlibCoder() override {
    if (!started_) return;
    if (decode_) inflateEnd(&stream_);
    else deflateEnd(&stream_);
  }

  bool start() override {
    // Negative window bits: raw DEFLATE without the zlib header and checksum.
    int ret = decode_ ? inflateInit2(&stream_, -15) : deflateInit2(&stream_, 5, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    started_ = ret == Z_OK;
    return started_;
  }

  StepStatus step(const std::uint8_t*& src, size_t& srcLength, std::uint8_t*& dst, size_t& dstLength) override {
    // zlib counts in 32 bits; hand it at most that much input per step.
    auto inChunk = static_cast<uInt>(std::min<size_t>(srcLength, 0x40000000));
    stream_.next_in = const_cast<Bytef*>(src);
    stream_.avail_in = inChunk;
    stream_.next_out = dst;
    stream_.avail_out = static_cast<uInt>(dstLength);
    int ret = decode_ ? inflate(&stream_, Z_NO_FLUSH) : deflate(&stream_, inChunk == srcLength ? Z_FINISH : Z_NO_FLUSH);
    size_t consumed = inChunk - stream_.avail_in;
    src += consumed;
    srcLength -= consumed;
    dst = stream_.next_out;
    dstLength = stream_.avail_out;
    if (ret == Z_STREAM_END) return StepStatus::End;
    return ret == Z_OK ? StepStatus::Ok : StepStatus::Error;
  }

 private:
  bool decode_;
  bool started_ = false;
  z_stream stream_{};
};

class LZ4Decoder final : public Coder {
 public:
  ~LZ4Decoder() override { LZ4F_freeDecompressionContext(context_); }

  bool start() override { return !LZ4F_isError(LZ4F_createDecompressionContext(&context_, LZ4F_VERSION)); }

  StepStatus step(const std::uint8_t*& src, size_t& srcLength, std::uint8_t*& dst, size_t& dstLength) override {
    size_t consumed = srcLength;
    size_t produced = dstLength;
    size_t hint = LZ4F_decompress(context_, dst, &produced, src, &consumed, nullptr);
    src += consumed;
    srcLength -= consumed;
    dst += produced;
    dstLength -= produced;
    if (LZ4F_isError(hint)) return StepStatus::Error;
    return hint == 0 ? StepStatus::End : StepStatus::Ok;
  }

 private:
  LZ4F_dctx* context_ = nullptr;
};

// The frame encoder wants room for a whole block at once, so its output is staged and
// handed out through the caller's buffer.
class LZ4Encoder final : public Coder {
 public:
  ~LZ4Encoder() override { LZ4F_freeCompressionContext(context_); }

  bool start() override {
    preferences_.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
    return !LZ4F_isError(LZ4F_createCompressionContext(&context_, LZ4F_VERSION));
  }

  StepStatus step(const std::uint8_t*& src, size_t& srcLength, std::uint8_t*& dst, size_t& dstLength) override {
    if (staged_ == staging_.size()) {
      size_t written = 0;
      if (!begun_) {
        staging_.resize(LZ4F_HEADER_SIZE_MAX);
        written = LZ4F_compressBegin(context_, staging_.data(), staging_.size(), &preferences_);
        begun_ = true;
      } else if (srcLength > 0) {
        size_t chunk = std::min<size_t>(srcLength, kChunk);
        staging_.resize(LZ4F_compressBound(chunk, &preferences_));
        written = LZ4F_compressUpdate(context_, staging_.data(), staging_.size(), src, chunk, nullptr);
        src += chunk;
        srcLength -= chunk;
      } else if (!ended_) {
        staging_.resize(LZ4F_compressBound(0, &preferences_));
        written = LZ4F_compressEnd(context_, staging_.data(), staging_.size(), nullptr);
        ended_ = true;
      }
      if (LZ4F_isError(written)) return StepStatus::Error;
      staging_.resize(written);
      staged_ = 0;
    }
    size_t n = std::min(dstLength, staging_.size() - staged_);
    std::memcpy(dst, staging_.data() + staged_, n);
    staged_ += n;
    dst += n;
    dstLength -= n;
    return ended_ && staged_ == staging_.size() ? StepStatus::End : StepStatus::Ok;
  }

 private:
  static constexpr size_t kChunk = 64 * 1024;
  LZ4F_cctx* context_ = nullptr;
  LZ4F_preferences_t preferences_{};
  Bytes staging_;
  size_t staged_ = 0;
  bool begun_ = false;
  bool ended_ = false;
};

std::unique_ptr<Coder> makeCoder(int algorithm, bool decode) {
  switch (algorithm) {
    case kCompressionLZ4:
      if (decode) return std::make_unique<LZ4Decoder>();
      return std::make_unique<LZ4Encoder>();
    case kCompressionZlib: return std::make_unique<ZlibCoder>(decode);
    case kCompressionLZMA: return std::make_unique<LZMACoder>(decode);
    default: return nullptr;  // LZFSE has no coder here
  }
}

}  // namespace

std::optional<Bytes> lam_dataUsingCompression(std::string_view data, int algorithm, int operation) {
  if (data.empty()) return std::nullopt;
  if (operation != kCompressionEncode && operation != kCompressionDecode) return std::nullopt;
  auto coder = makeCoder(algorithm, operation == kCompressionDecode);
  if (!coder || !coder->start()) return std::nullopt;

  const auto* src = reinterpret_cast<const std::uint8_t*>(data.data());
  size_t srcLength = data.size();
  Bytes out;
  // Room for the announced size (never more than the step limit allows) spares the copies
  // of a growing buffer; the slack lets parsers that read a little past the end use the
  // result in place.
  if (size_t expected = coder->expectedOutputSize(data))
    out.reserve(std::min(expected, kCompressionBufferSize * kCompressionMaximumSteps) + kCompressionOutputSlack);
  std::uint8_t buffer[kCompressionBufferSize];
  for (int steps = 0; steps < kCompressionMaximumSteps; ++steps) {
    std::uint8_t* dst = buffer;
    size_t dstLength = sizeof buffer;
    size_t srcBefore = srcLength;
    StepStatus status = coder->step(src, srcLength, dst, dstLength);
    size_t produced = sizeof buffer - dstLength;
    out.insert(out.end(), buffer, buffer + produced);
    if (status == StepStatus::End) return out;
    if (status == StepStatus::Error) return std::nullopt;
    // A step that neither reads nor writes never will: the stream is truncated.
    if (produced == 0 && srcLength == srcBefore) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<Bytes> lam_dataUsingCompression(const Bytes& data, int algorithm, int operation) {
  return lam_dataUsingCompression(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()),
                                  algorithm, operation);
}

std::optional<Bytes> lam_uncompressedDataUsingCompression(std::string_view data, int algorithm) {
  return lam_dataUsingCompression(data, algorithm, kCompressionDecode);
}
std::optional<Bytes> lam_uncompressedDataUsingCompression(const Bytes& data, int algorithm) {
  return lam_dataUsingCompression(data, algorithm, kCompressionDecode);
}
std::optional<Bytes> lam_compressedDataUsingCompression(std::string_view data, int algorithm) {
  return lam_dataUsingCompression(data, algorithm, kCompressionEncode);
}
std::optional<Bytes> lam_compressedDataUsingCompression(const Bytes& data, int algorithm) {
  return lam_dataUsingCompression(data, algorithm, kCompressionEncode);
}

}  // namespace vantor
