// pkexec for tests. Installed set-user-ID root by a test, it does what pkexec does after
// a granted prompt: runs the command as root with PKEXEC_UID naming the caller. With
// VANTOR_TEST_PKEXEC_EXIT set it ends with that status instead, as pkexec does when the
// prompt is dismissed (126) or the caller is not authorised (127). Every call is
// appended to the file VANTOR_TEST_PKEXEC_LOG names, one line per call.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (const char* log = std::getenv("VANTOR_TEST_PKEXEC_LOG")) {
    if (FILE* f = std::fopen(log, "a")) {
      for (int i = 1; i < argc; ++i) std::fprintf(f, i == 1 ? "%s" : " %s", argv[i]);
      std::fputc('\n', f);
      std::fclose(f);
    }
  }
  if (const char* status = std::getenv("VANTOR_TEST_PKEXEC_EXIT"); status != nullptr && *status != '\0') {
    std::fprintf(stderr, "Error executing command as another user: Not authorized\n");
    return std::atoi(status);
  }
  if (argc < 2) return 127;
  uid_t caller = ::getuid();
  if (::setgid(0) != 0 || ::setuid(0) != 0) {
    std::perror("stand-in pkexec: cannot become root");
    return 127;
  }
  ::setenv("PKEXEC_UID", std::to_string(caller).c_str(), 1);
  ::execv(argv[1], argv + 1);
  std::perror("stand-in pkexec: cannot run the command");
  return 127;
}
