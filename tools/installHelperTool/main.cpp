// installHelperTool fakeAppPath finalPath foundAppPath
//
// Runs as root through pkexec and installs the found app at the final path for the user
// who asked (PKEXEC_UID). Standard output carries only the protocol the helper reads:
// "<NN>" progress tokens, then "SUCCESS", or "!<code>?" with the code of
// PrivilegedInstallCode; diagnostics go to standard error. "--authorize" alone does
// nothing: the helper runs it to obtain the administrator right before the install.
// Exit status 0 on success, 1 otherwise (pkexec keeps 126 and 127 for itself).

#include <cstdio>
#include <string>

#include "install/PrivilegedInstall.h"
#include "platform/Authorization.h"
#include "platform/CurrentProcess.h"
#include "platform/Environment.h"

namespace {

using vantor::install::PrivilegedInstall;
using vantor::install::PrivilegedInstallCode;

void say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

int refuse(PrivilegedInstallCode code, const std::string& reason) {
  std::fprintf(stderr, "installHelperTool: refused: %s\n", reason.c_str());
  say("!" + std::to_string(static_cast<int>(code)) + "?");
  return 1;
}

// The user pkexec acted for; without pkexec, the one running the tool.
bool invokingUser(unsigned* uid) {
  auto text = vantor::platform::environmentValue("PKEXEC_UID");
  if (!text) {
    *uid = vantor::platform::CurrentProcess::realUserID();
    return true;
  }
  if (text->empty() || text->size() > 9 || text->find_first_not_of("0123456789") != std::string::npos) return false;
  *uid = static_cast<unsigned>(std::stoul(*text));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == vantor::platform::PkexecPrivilegeRunner::kAuthorizeArgument) return 0;
  if (argc != 4) return refuse(PrivilegedInstallCode::kUsage, "usage: installHelperTool fakeAppPath finalPath foundAppPath");
  // Should the helper go away, the install still runs to its end (or its rollback).
  vantor::platform::CurrentProcess::ignoreBrokenPipes();
  unsigned invoker = 0;
  if (!invokingUser(&invoker)) return refuse(PrivilegedInstallCode::kUnknownInvoker, "PKEXEC_UID is not a user id");

  int lastPercent = -1;
  auto progress = [&](double fraction) {
    int percent = static_cast<int>(fraction * 100 + 0.5);
    if (percent == lastPercent) return;
    lastPercent = percent;
    say("<" + std::to_string(percent) + ">");
  };
  std::string reason;
  PrivilegedInstall install(invoker, argv[1], argv[2], argv[3]);
  PrivilegedInstallCode code = install.run(progress, &reason);
  if (code != PrivilegedInstallCode::kSuccess) return refuse(code, reason);
  say("SUCCESS");
  return 0;
}
