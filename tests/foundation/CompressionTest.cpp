#include <gtest/gtest.h>

#include <random>

#include "foundation/Compression.h"
#include "foundation/FileHelpers.h"
#include "platform/ChildProcess.h"

namespace vantor {
namespace {

Bytes randomBytes(size_t length, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(length);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

Bytes repetitiveText(size_t length) {
  Bytes bytes;
  const std::string line = "{\"cn\":\"example\",\"fe\":\"https://example.com/appcast.xml\"},\n";
  while (bytes.size() < length) bytes.insert(bytes.end(), line.begin(), line.end());
  bytes.resize(length);
  return bytes;
}

TEST(CompressionTest, RoundTripsEveryAvailableAlgorithm) {
  const Bytes kInputs[] = {Bytes{'x'}, repetitiveText(4096), repetitiveText(300000), randomBytes(4095, 1),
                           randomBytes(70000, 2)};
  for (int algorithm : {kCompressionLZ4, kCompressionZlib, kCompressionLZMA}) {
    for (const Bytes& input : kInputs) {
      auto compressed = lam_compressedDataUsingCompression(input, algorithm);
      ASSERT_TRUE(compressed) << algorithm << " " << input.size();
      auto restored = lam_uncompressedDataUsingCompression(*compressed, algorithm);
      ASSERT_TRUE(restored) << algorithm << " " << input.size();
      EXPECT_EQ(*restored, input) << algorithm << " " << input.size();
    }
  }
}

TEST(CompressionTest, RefusedArguments) {
  Bytes input = repetitiveText(100);
  EXPECT_FALSE(lam_dataUsingCompression(input, kCompressionLZFSE, kCompressionEncode));  // no coder here
  EXPECT_FALSE(lam_dataUsingCompression(input, kCompressionLZFSE, kCompressionDecode));
  EXPECT_FALSE(lam_dataUsingCompression(input, 4, kCompressionEncode));
  EXPECT_FALSE(lam_dataUsingCompression(input, -1, kCompressionEncode));
  EXPECT_FALSE(lam_dataUsingCompression(input, kCompressionLZMA, 2));
  for (int algorithm : {kCompressionLZ4, kCompressionZlib, kCompressionLZMA})
    EXPECT_FALSE(lam_dataUsingCompression(Bytes(), algorithm, kCompressionEncode)) << algorithm;
}

TEST(CompressionTest, DamagedOrTruncatedStreamsGiveNothing) {
  Bytes input = repetitiveText(50000);
  for (int algorithm : {kCompressionLZ4, kCompressionZlib, kCompressionLZMA}) {
    Bytes compressed = *lam_compressedDataUsingCompression(input, algorithm);
    Bytes truncated(compressed.begin(), compressed.end() - 5);
    EXPECT_FALSE(lam_uncompressedDataUsingCompression(truncated, algorithm)) << algorithm;
    Bytes oneByte(compressed.begin(), compressed.begin() + 1);
    EXPECT_FALSE(lam_uncompressedDataUsingCompression(oneByte, algorithm)) << algorithm;
    EXPECT_FALSE(lam_uncompressedDataUsingCompression(randomBytes(1000, 3), algorithm)) << algorithm;
  }
}

// The xz command's files decode, so the container is the standard one.
TEST(CompressionTest, ReadsTheXzContainerOfTheXzCommand) {
  auto xz = platform::findExecutable("xz");
  if (!xz) GTEST_SKIP() << "no xz command";
  std::string text(reinterpret_cast<const char*>(repetitiveText(20000).data()), 20000);
  platform::RunOptions options;
  options.input = text;
  options.mergeStderr = false;
  auto result = platform::runProcess({*xz, "-c", "-9"}, options);
  ASSERT_EQ(result.status, 0);
  auto restored = lam_uncompressedDataUsingCompression(result.output, kCompressionLZMA);
  ASSERT_TRUE(restored);
  EXPECT_EQ(toString(*restored), text);
}

// 4096-byte steps, at most 10000 of them: about 40 MB is the largest result.
TEST(CompressionTest, ResultsBeyondTheStepLimitGiveNothing) {
  Bytes below(40'000'000, 'a');
  Bytes above(41'000'000, 'a');
  auto belowCompressed = lam_compressedDataUsingCompression(below, kCompressionZlib);
  ASSERT_TRUE(belowCompressed);
  EXPECT_EQ(lam_uncompressedDataUsingCompression(*belowCompressed, kCompressionZlib)->size(), below.size());
  // Compressing the larger input also stays within the limit: its output is small.
  auto aboveCompressed = lam_compressedDataUsingCompression(above, kCompressionZlib);
  ASSERT_TRUE(aboveCompressed);
  EXPECT_FALSE(lam_uncompressedDataUsingCompression(*aboveCompressed, kCompressionZlib));
}

}  // namespace
}  // namespace vantor
