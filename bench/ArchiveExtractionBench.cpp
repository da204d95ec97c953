// Extraction throughput of a 64 MiB application in each archive form: zip through the
// copier, tar.gz piped in 256 KiB chunks, and a zlib-compressed disk image (checksums
// verified, extracted, copied out, detached).

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>

#include "foundation/FileHelpers.h"
#include "install/ZRSUUnarchiver.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"
#include "support/UdifImage.h"

namespace vantor {
namespace {

constexpr std::size_t kPayloadMiB = 64;

// Half random, half text-like bytes, so that compression has work to do.
void writePayload(const std::string& path) {
  std::mt19937 generator(42);
  std::string bytes(kPayloadMiB << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = i % 2 ? static_cast<char>(generator()) : static_cast<char>('a' + i % 26);
  test::writeFile(path, bytes);
}

class Archives {
 public:
  Archives() {
    test::writeAppBundle(folder_ / "work");
    writePayload(folder_ / "work/Demo.app/Contents/Resources/payload.bin");
    test::runBsdtar({"--format", "zip", "-cf", folder_ / "Demo.zip", "Demo.app"}, folder_ / "work");
    test::runBsdtar({"-czf", folder_ / "Demo.tar.gz", "Demo.app"}, folder_ / "work");
    if (auto iso = test::makeIsoImage(folder_ / "work", "Demo")) test::writeUdifImage(*iso, folder_ / "Demo.dmg");
  }
  std::string path(const std::string& name) const { return folder_ / name; }

 private:
  test::TempFolder folder_;
};

Archives& archives() {
  static auto* shared = new Archives();
  return *shared;
}

void extractArchive(benchmark::State& state, const char* name) {
  const std::string path = archives().path(name);
  for (auto _ : state) {
    removeItem(ZRSUUnarchiverProtocol::destinationFolder(path));
    auto unarchiver = ZRSUUnarchiver::unarchiverForPath(path, std::nullopt, std::nullopt);
    if (!unarchiver || unarchiver->unarchive()) state.SkipWithError("extraction failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayloadMiB << 20));
}

BENCHMARK_CAPTURE(extractArchive, zip, "Demo.zip")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(extractArchive, tar_gz, "Demo.tar.gz")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(extractArchive, dmg, "Demo.dmg")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vantor
