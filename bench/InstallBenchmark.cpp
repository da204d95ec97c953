// End-to-end install benchmark: AppInstallHelper installing a generated application
// (about 200 MB in about 2,000 files) from a loopback server, as a zip and as a UDIF
// image, against the shell pipeline `curl -o` + `bsdtar -x` (zip) or `7zz x` (image) +
// `mv` in the same run. Every install runs in a child process of its own, so its time
// and peak memory (maximum resident set, tools it starts included) are its own.
//
//   vantor-bench-install [megabytes] [files] [rounds]   defaults: 200 MB, 2000 files, 3 rounds
//   vantor-bench-install --install URL TARGET           the child: one install
//   vantor-bench-install --prepare FOLDER MB FILES      the child: the app and its archives

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildRun.h"
#include "catalog/ConfigFile.h"
#include "foundation/FileHelpers.h"
#include "install/AppInstallHelper.h"
#include "platform/PropertyList.h"
#include "support/ArchiveFixtures.h"
#include "support/LoopbackServer.h"
#include "support/UdifImage.h"

namespace {

constexpr const char* kBundleID = "com.example.bench";

using vantor::bench::median;
using vantor::bench::runChild;
using Run = vantor::bench::ChildRun;

// Bench.app with an Info.plist, an executable and `files` resource files of pseudo-random
// bytes (half of them compressible text) that add up to about `bytes`.
void writeBenchApp(const std::string& folder, size_t bytes, size_t files) {
  namespace fs = std::filesystem;
  std::string contents = folder + "/Bench.app/Contents";
  fs::create_directories(contents + "/MacOS");
  auto plist = vantor::platform::xmlPropertyList(
      {{"CFBundleIdentifier", kBundleID}, {"CFBundleExecutable", "Bench"}, {"CFBundleShortVersionString", "1.0"}});
  std::ofstream(contents + "/Info.plist") << *plist;
  std::ofstream(contents + "/MacOS/Bench") << "#!/bin/sh\n";
  fs::permissions(contents + "/MacOS/Bench", fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add);
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  size_t each = bytes / files;
  std::string data(each, '\0');
  for (size_t i = 0; i < files; ++i) {
    std::string dir = contents + "/Resources/group" + std::to_string(i / 100);
    fs::create_directories(dir);
    for (size_t j = 0; j < each; j += 8) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      for (size_t k = 0; k < 8 && j + k < each; ++k)
        data[j + k] = i % 2 ? static_cast<char>(state >> (8 * k)) : static_cast<char>('a' + (state >> (8 * k)) % 16);
    }
    std::ofstream(dir + "/file" + std::to_string(i) + ".bin", std::ios::binary) << data;
  }
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

pid_t startServer(const std::string& zipPath, const std::string& dmgPath, int& port) {
  int channel[2];
  if (pipe(channel) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    auto server = vantor::test::LoopbackServer::startHTTP();
    server->on("/Bench.zip", vantor::test::ScriptedResponse::text(200, readAll(zipPath)));
    server->on("/Bench.dmg", vantor::test::ScriptedResponse::text(200, readAll(dmgPath)));
    int serverPort = server->port();
    if (write(channel[1], &serverPort, sizeof serverPort) != sizeof serverPort) _exit(1);
    close(channel[1]);
    for (;;) pause();
  }
  close(channel[1]);
  if (pid < 0 || read(channel[0], &port, sizeof port) != sizeof port) port = 0;
  close(channel[0]);
  return pid;
}

int install(const std::string& url, const std::string& target) {
  vantor::ConfigFile configFile(vantor::Json{{"bundleIDMapping", {{kBundleID, vantor::Json::object()}}}});
  std::optional<vantor::Error> error;
  std::thread run([&] {
    error = vantor::AppInstallHelper::installApp(kBundleID, configFile, url, true, target, nullptr);
  });
  run.join();
  if (error) std::fprintf(stderr, "install failed: %s\n", error->description().c_str());
  return error ? 1 : 0;
}

// Writes the app into work/stage and its archives work/Bench.zip and work/Bench.dmg.
int prepare(const std::string& work, size_t megabytes, size_t files) {
  std::string stage = work + "/stage";
  writeBenchApp(stage, megabytes * 1000 * 1000, files);
  if (!vantor::test::runBsdtar({"-c", "-f", work + "/Bench.zip", "--format", "zip", "."}, stage)) return 1;
  auto iso = vantor::test::makeIsoImage(stage, "Bench");
  if (!iso || !vantor::test::writeUdifImage(*iso, work + "/Bench.dmg")) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--install") return install(argv[2], argv[3]);
  if (argc == 5 && std::string(argv[1]) == "--prepare")
    return prepare(argv[2], std::strtoul(argv[3], nullptr, 10), std::strtoul(argv[4], nullptr, 10));

  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  size_t files = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2000;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 3;

  std::string work = vantor::makeTempDirectory().value();
  std::string zip = work + "/Bench.zip", dmg = work + "/Bench.dmg";
  // Made in a child, so that this process stays small: a child spawned from it starts
  // its peak memory from this process's size.
  if (!runChild({"/proc/self/exe", "--prepare", work, std::to_string(megabytes), std::to_string(files)}).ok) {
    std::fprintf(stderr, "could not build the archives\n");
    vantor::removeItem(work);
    return 1;
  }
  std::printf("app: %zu MB in %zu files; zip %.1f MB, UDIF %.1f MB\n", megabytes, files,
              static_cast<double>(std::filesystem::file_size(zip)) / 1e6,
              static_cast<double>(std::filesystem::file_size(dmg)) / 1e6);

  int port = 0;
  pid_t server = startServer(zip, dmg, port);
  if (server <= 0 || port == 0) return 1;
  std::string base = "http://127.0.0.1:" + std::to_string(port);
  std::string target = work + "/Applications";
  std::string scratch = work + "/shell";

  int status = 0;
  for (const char* kind : {"zip", "dmg"}) {
    std::string url = base + "/Bench." + kind;
    std::string extract = std::string(kind) == "zip"
                              ? "bsdtar -x -f \"$S/a\" -C \"$S/x\""
                              : "7zz x -y -bso0 -bsp0 -o\"$S/x\" \"$S/a\" >/dev/null";
    std::string shell = "S=" + scratch + "; mkdir -p \"$S/x\" && curl -s -o \"$S/a\" " + url + " && " + extract +
                        " && mv \"$(dirname \"$(find \"$S/x\" -name Bench.app -type d | head -1)\")/Bench.app\" " +
                        target + "/";
    std::vector<double> ours, theirs, oursPeak, theirsPeak;
    for (int round = 0; round < rounds; ++round) {
      std::filesystem::create_directories(target);
      Run a = runChild({"/proc/self/exe", "--install", url, target});
      bool installedA = std::filesystem::exists(target + "/Bench.app/Contents/Info.plist");
      std::filesystem::remove_all(target);
      std::filesystem::create_directories(target);
      Run b = runChild({"/bin/sh", "-c", shell});
      bool installedB = std::filesystem::exists(target + "/Bench.app/Contents/Info.plist");
      std::filesystem::remove_all(target);
      std::filesystem::remove_all(scratch);
      if (!a.ok || !b.ok || !installedA || !installedB) {
        std::fprintf(stderr, "%s round %d failed (pipeline %d/%d, shell %d/%d)\n", kind, round, a.ok, installedA, b.ok,
                     installedB);
        status = 1;
        break;
      }
      std::printf("%s round %d: pipeline %.2f s, %.0f MiB peak; shell %.2f s, %.0f MiB peak\n", kind, round,
                  a.seconds, a.peakMegabytes, b.seconds, b.peakMegabytes);
      std::fflush(stdout);
      ours.push_back(a.seconds), theirs.push_back(b.seconds);
      oursPeak.push_back(a.peakMegabytes), theirsPeak.push_back(b.peakMegabytes);
    }
    if (ours.empty()) continue;
    double o = median(ours), t = median(theirs);
    std::printf("%s: pipeline median %.2f s (peak %.0f MiB), shell median %.2f s (peak %.0f MiB), ratio %.2f "
                "(goal <= 1.25)\n",
                kind, o, median(oursPeak), t, median(theirsPeak), o / t);
  }
  kill(server, SIGKILL);
  waitpid(server, nullptr, 0);
  vantor::removeItem(work);
  return status;
}
