// vantor-fixture-server --root DIR [--http-port N] [--https-port N] [--ca-out FILE]
//                       [--rules FILE] [--request-log FILE]
// Exit status 0 after SIGTERM or SIGINT, 1 when it can not start, 2 on wrong usage.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FixtureServer.h"

namespace {

int usage() {
  std::fputs(vantor::fixture::usageText(), stderr);
  return 2;
}

bool parsePort(const char* text, int* port) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 65535) return false;
  *port = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  vantor::fixture::ServerOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      std::fputs(vantor::fixture::usageText(), stdout);
      return 0;
    }
    if (i + 1 >= argc) return usage();
    const char* value = argv[++i];
    if (argument == "--root") options.root = value;
    else if (argument == "--ca-out") options.caOut = value;
    else if (argument == "--rules") options.rulesFile = value;
    else if (argument == "--request-log") options.requestLog = value;
    else if (argument == "--http-port") {
      if (!parsePort(value, &options.httpPort)) return usage();
    } else if (argument == "--https-port") {
      if (!parsePort(value, &options.httpsPort)) return usage();
    } else {
      return usage();
    }
  }
  if (options.root.empty()) return usage();

  // Every thread inherits the blocked stop signals; only sigwait below takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  vantor::fixture::FixtureServer server(options);
  std::string error;
  if (!server.start(&error)) {
    std::fprintf(stderr, "vantor-fixture-server: %s\n", error.c_str());
    return 1;
  }
  std::printf("http=%d https=%d\n", server.httpPort(), server.httpsPort());
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  server.stop();
  return 0;
}
