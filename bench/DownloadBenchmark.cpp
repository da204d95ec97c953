// Download benchmark: HTTPDownloader fetching a large file from a loopback server against
// `curl -s -o FILE` of the same URL in the same run. Each fetch runs in a child process
// so that its peak memory (maximum resident set) is its own.
//
//   vantor-bench-download [megabytes] [rounds]      defaults: 200 MB, 5 rounds
//   vantor-bench-download --fetch URL               the child: one download, prints its time
//   vantor-bench-download --serve megabytes         only the server, until return is pressed

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "support/LoopbackServer.h"
#include "download/HTTPDownloader.h"
#include "foundation/FileHelpers.h"

namespace {

using Clock = std::chrono::steady_clock;

using vantor::bench::median;
using vantor::bench::runChild;
using Run = vantor::bench::ChildRun;

int fetch(const std::string& url) {
  vantor::HTTPDownloader downloader;
  auto start = Clock::now();
  auto data = downloader.downloadURL(vantor::URL::parse(url).value(), {}, [](std::int64_t, std::int64_t) {}, [] { return false; });
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!data) return 1;
  std::printf("%zu bytes in %.3f s\n", data->size(), seconds);
  return 0;
}


// Runs the loopback server in a child process of its own, so the measured children are
// spawned from a small parent (a spawned child's peak memory starts from its parent's).
pid_t startServer(size_t size, int& port) {
  int channel[2];
  if (pipe(channel) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    std::string body(size, '\0');
    for (size_t i = 0; i < size; i += 64) body[i] = static_cast<char>(i * 2654435761u >> 24);
    auto server = vantor::test::LoopbackServer::startHTTP();
    server->on("/file.bin", vantor::test::ScriptedResponse::text(200, body));
    server->on("/unannounced.bin", vantor::test::ScriptedResponse::withoutLength(std::move(body)));
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--fetch") return fetch(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "--serve") {  // for looking at one side by hand
    int port = 0;
    pid_t server = startServer(std::strtoul(argv[2], nullptr, 10) * 1000 * 1000, port);
    std::printf("serving http://127.0.0.1:%d/file.bin and /unannounced.bin; press return to stop\n", port);
    std::fflush(stdout);
    std::getchar();
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    return 0;
  }

  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  size_t size = megabytes * 1000 * 1000;

  int port = 0;
  pid_t server = startServer(size, port);
  if (server <= 0 || port == 0) {
    std::fprintf(stderr, "the loopback server did not start\n");
    return 1;
  }
  std::string base = "http://127.0.0.1:" + std::to_string(port);
  std::string url = base + "/file.bin";
  std::string self = "/proc/self/exe";
  std::string folder = vantor::makeTempDirectory().value();
  std::string target = folder + "/file.bin";

  int failures = 0;
  std::vector<double> oursSeconds, curlSeconds, oursPeak, curlPeak;
  for (int round = 0; round < rounds && failures == 0; ++round) {
    Run ours = runChild({self, "--fetch", url});
    Run curl = runChild({"/usr/bin/curl", "-s", "-o", target, url});
    vantor::removeItem(target);
    if (!ours.ok || !curl.ok) {
      std::fprintf(stderr, "round %d failed (HTTPDownloader %d, curl %d)\n", round, ours.ok, curl.ok);
      ++failures;
      break;
    }
    std::printf("round %d: HTTPDownloader %.3f s, %.1f MiB peak; curl %.3f s, %.1f MiB peak\n", round, ours.seconds,
                ours.peakMegabytes, curl.seconds, curl.peakMegabytes);
    oursSeconds.push_back(ours.seconds);
    curlSeconds.push_back(curl.seconds);
    oursPeak.push_back(ours.peakMegabytes);
    curlPeak.push_back(curl.peakMegabytes);
  }
  Run unannounced = failures ? Run{} : runChild({self, "--fetch", base + "/unannounced.bin"});
  kill(server, SIGKILL);
  waitpid(server, nullptr, 0);
  vantor::removeItem(folder);
  if (failures) return 1;

  double fileMegabytes = static_cast<double>(size) / (1024.0 * 1024.0);
  double ours = median(oursSeconds), curl = median(curlSeconds);
  double worstPeak = *std::max_element(oursPeak.begin(), oursPeak.end());
  std::printf("file: %zu bytes (%.1f MiB), %d rounds, medians of whole child processes\n", size, fileMegabytes,
              rounds);
  std::printf("HTTPDownloader: %.3f s = %.0f MB/s, peak memory %.1f MiB = %.2f x file size\n", ours,
              static_cast<double>(size) / ours / 1e6, worstPeak, worstPeak / fileMegabytes);
  std::printf("curl -s -o FILE: %.3f s = %.0f MB/s, peak memory %.1f MiB\n", curl,
              static_cast<double>(size) / curl / 1e6, median(curlPeak));
  std::printf("throughput ratio HTTPDownloader / curl: %.2f (goal >= 0.80); peak memory goal <= 1.10 x file size\n",
              curl / ours);
  std::printf("for comparison, without an announced length: %.3f s, peak memory %.1f MiB = %.2f x file size\n",
              unannounced.seconds, unannounced.peakMegabytes, unannounced.peakMegabytes / fileMegabytes);
  return 0;
}
