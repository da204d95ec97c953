// Loads a large signed catalog the way the helper does (read the file, check and
// decompress it, parse it, look one record up) and compares that with liblzma decoding
// the same payload alone.
//
//   vantor-bench-catalog-load [--records N] [--rounds N] [--processes N]
//
// Warm figures come from rounds in one process; cold figures from fresh processes, one
// load each, which is what the helper does (with their peak resident memory).

#include <lzma.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "catalog/ConfigFile.h"
#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "platform/ChildProcess.h"
#include "signer/CatalogSigner.h"

using namespace vantor;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The high-water mark of this process image (getrusage would report the parent's from
// before exec).
long peakResidentKilobytes() {
  auto status = contentsAsString("/proc/self/status");
  if (!status) return 0;
  auto at = status->find("VmHWM:");
  return at == std::string::npos ? 0 : std::atol(status->c_str() + at + 6);
}

std::string bundleIdentifier(int i) { return makeString("com.vendor%i.app%i", i % 977, i); }

// Records shaped like real ones: a cask name or a feed (some system-dependent), home page,
// code signature, a few flags and version lists.
std::string syntheticCatalog(int records) {
  std::string text = "{\"bundleIDMapping\":{";
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  auto token = [&](int length) {
    std::string s;
    for (int i = 0; i < length; ++i) s += "abcdefghijklmnopqrstuvwxyz0123456789"[next() % 36];
    return s;
  };
  for (int i = 0; i < records; ++i) {
    if (i) text += ',';
    std::string vendor = token(6 + static_cast<int>(next() % 6));
    text += makeString("\"%@\":{", bundleIdentifier(i));
    if (next() % 3) text += makeString("\"cn\":\"%@-%@\",", vendor, token(5));
    if (next() % 2) text += makeString("\"fe\":\"https://updates.%@.com/%@/appcast.xml\",", vendor, token(8));
    if (next() % 10 == 0) text += makeString("\"fd\":15,\"fe14\":\"https://updates.%@.com/legacy.xml\",", vendor);
    text += makeString("\"hp\":\"https://www.%@.com/\",", vendor);
    text += makeString("\"cs\":\"Developer ID Application: %@ Inc. (%@)\",", vendor, token(10));
    if (next() % 4 == 0) text += makeString("\"iu\":[\"%i.%i\",\"%i.%i.%i\"],", next() % 9, next() % 20, next() % 9,
                                            next() % 20, next() % 99);
    if (next() % 5 == 0) text += "\"da\":1,\"fu\":1,";
    if (next() % 7 == 0) text += makeString("\"ca\":\"Mozilla/5.0 (%@)\",", token(12));
    text += makeString("\"fr\":%i}", next() % 2);
  }
  text += "},\"ignoredBundleIDPrefixes\":[\"com.apple.\"],\"ignoredBundleIDSubstringsCaseInsensitive\":[\"beta\"]}";
  return text;
}

Bytes payloadOf(const Bytes& file) { return Bytes(file.begin() + 528, file.end() - 4); }

// liblzma alone: the payload decoded into a buffer of the known size.
double timeDecodingAlone(const Bytes& payload, size_t textSize) {
  auto start = Clock::now();
  std::vector<std::uint8_t> out(textSize);
  std::uint64_t memoryLimit = UINT64_MAX;
  size_t inPosition = 0, outPosition = 0;
  lzma_ret ret = lzma_stream_buffer_decode(&memoryLimit, 0, nullptr, payload.data(), &inPosition, payload.size(),
                                           out.data(), &outPosition, out.size());
  double elapsed = millisecondsSince(start);
  if (ret != LZMA_OK || outPosition != textSize) {
    std::fprintf(stderr, "liblzma decoding failed (%d)\n", ret);
    std::exit(1);
  }
  return elapsed;
}

struct LoadTimes {
  double total = 0;
  double decode = 0;  // read, check and decompress
  double parse = 0;   // parse and one lookup
};

// What the helper does: read, check, decompress, parse, one lookup. The catalog is kept
// alive by the caller (the helper keeps it until exit).
LoadTimes timeWholeLoad(const std::string& path, std::optional<ConfigFile>* keep) {
  auto start = Clock::now();
  auto data = contents(path);
  Error error;
  auto text = data ? ConfigFile::uncompressConfigFile(&*data, &error) : std::nullopt;
  if (!text) {
    std::fprintf(stderr, "loading failed: %s\n", error.description().c_str());
    std::exit(1);
  }
  double decoded = millisecondsSince(start);
  *keep = ConfigFile::configFileWithJSONData(std::move(*text));
  if (!*keep || !(*keep)->entryForBundleIdentifier(bundleIdentifier(15000)).caskName().has_value()) {
    // record 15000 may lack a cask name; any lookup will do, so only the parse must hold
    if (!*keep) std::exit(1);
  }
  double total = millisecondsSince(start);
  return {total, decoded, total - decoded};
}

int runOnce(const std::string& mode, const std::string& path) {
  auto file = contents(path);
  if (!file) return 1;
  if (mode == "--once-decode") {
    Bytes payload = payloadOf(*file);
    auto size = static_cast<size_t>(std::stoul(std::getenv("BENCH_TEXT_SIZE")));
    double ms = timeDecodingAlone(payload, size);
    std::printf("%.3f 0 0 %ld\n", ms, peakResidentKilobytes());
  } else {
    std::optional<ConfigFile> catalog;
    LoadTimes t = timeWholeLoad(path, &catalog);
    std::printf("%.3f %.3f %.3f %ld\n", t.total, t.decode, t.parse, peakResidentKilobytes());
    std::fflush(stdout);
    std::_Exit(0);  // the helper never frees its catalog either
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]).rfind("--once-", 0) == 0) return runOnce(argv[1], argv[2]);
  int records = 30000, rounds = 15, processes = 7;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    int value = std::atoi(argv[i + 1]);
    if (option == "--records") records = value;
    else if (option == "--rounds") rounds = value;
    else if (option == "--processes") processes = value;
  }

  std::string text = syntheticCatalog(records);
  auto file = signer::signCatalog(text, contentsAsString(signer::defaultPrivateKeyPath()).value_or(""));
  if (!file) {
    std::fprintf(stderr, "signing failed: %s\n", file.error().description().c_str());
    return 1;
  }
  auto folder = makeTempDirectory();
  std::string path = *folder + "/config.json.encr";
  writeContentsAtomically(path, std::string_view(reinterpret_cast<const char*>(file->data()), file->size()));
  Bytes payload = payloadOf(*file);
  std::printf("catalog: %d records, %.2f MB of JSON, %.2f MB signed and compressed\n", records, text.size() / 1e6,
              file->size() / 1e6);

  // Warm: one process, alternating rounds.
  std::vector<double> decodeAlone, load, loadDecode, loadParse, destroy, nlohmannParse, nlohmannFree;
  for (int round = 0; round < rounds; ++round) {
    decodeAlone.push_back(timeDecodingAlone(payload, text.size()));
    {
      std::optional<ConfigFile> catalog;
      LoadTimes t = timeWholeLoad(path, &catalog);
      load.push_back(t.total);
      loadDecode.push_back(t.decode);
      loadParse.push_back(t.parse);
      auto start = Clock::now();
      catalog.reset();
      destroy.push_back(millisecondsSince(start));
    }
    {
      auto start = Clock::now();
      auto tree = JSONDictionary(text);
      nlohmannParse.push_back(millisecondsSince(start));
      start = Clock::now();
      tree.reset();
      nlohmannFree.push_back(millisecondsSince(start));
    }
  }
  std::printf("\nwarm, %d rounds in one process (medians, ms):\n", rounds);
  std::printf("  liblzma decoding alone          %8.1f\n", median(decodeAlone));
  std::printf("  whole load                      %8.1f   ratio %.2f\n", median(load), median(load) / median(decodeAlone));
  std::printf("    read, check, decompress       %8.1f\n", median(loadDecode));
  std::printf("    parse and one lookup          %8.1f\n", median(loadParse));
  std::printf("  freeing the catalog             %8.1f   (the helper skips it: kept until exit)\n", median(destroy));
  std::printf("  for comparison: nlohmann parse  %8.1f   and free %.1f\n", median(nlohmannParse), median(nlohmannFree));

  // Cold: a fresh process per load, as the helper runs.
  std::string self = std::filesystem::canonical("/proc/self/exe");
  platform::RunOptions options;
  options.mergeStderr = false;
  options.environment = {{"BENCH_TEXT_SIZE", std::to_string(text.size())}};
  std::vector<double> coldDecode, coldLoad, coldLoadDecode, coldLoadParse;
  std::vector<double> rssDecode, rssLoad;
  for (int i = 0; i < processes; ++i) {
    for (const char* mode : {"--once-decode", "--once-load"}) {
      auto result = platform::runProcess({self, mode, path}, options);
      double total = 0, decode = 0, parse = 0;
      long rss = 0;
      if (result.status != 0 || std::sscanf(result.output.c_str(), "%lf %lf %lf %ld", &total, &decode, &parse, &rss) != 4) {
        std::fprintf(stderr, "child failed: %s %s\n", result.output.c_str(), result.errorOutput.c_str());
        return 1;
      }
      if (std::string(mode) == "--once-decode") {
        coldDecode.push_back(total);
        rssDecode.push_back(static_cast<double>(rss));
      } else {
        coldLoad.push_back(total);
        coldLoadDecode.push_back(decode);
        coldLoadParse.push_back(parse);
        rssLoad.push_back(static_cast<double>(rss));
      }
    }
  }
  std::printf("\ncold, %d fresh processes each (medians):\n", processes);
  std::printf("  liblzma decoding alone          %8.1f ms   peak RSS %6.1f MB\n", median(coldDecode),
              median(rssDecode) / 1024);
  std::printf("  whole load                      %8.1f ms   peak RSS %6.1f MB   ratio %.2f\n", median(coldLoad),
              median(rssLoad) / 1024, median(coldLoad) / median(coldDecode));
  std::printf("    read, check, decompress       %8.1f ms\n", median(coldLoadDecode));
  std::printf("    parse and one lookup          %8.1f ms\n", median(coldLoadParse));
  removeItem(*folder);
  return 0;
}
