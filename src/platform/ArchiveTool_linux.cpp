#include "platform/ArchiveTool.h"

namespace vantor::platform {
namespace {

const std::vector<std::string> kSafetyOptions = {
    // Restore neither owners nor set-id bits, ACLs or extended attributes, as for a
    // user who is not root (tests and CI run as root).
    "--no-same-owner",
    "--no-same-permissions",
};

bool isTarFlagWord(const std::string& flags) {
  if (flags.size() < 3 || flags.front() != '-' || flags.back() != 'C') return false;
  if (flags.find('x') == std::string::npos) return false;
  for (size_t i = 1; i + 1 < flags.size(); ++i)
    if (flags[i] != 'x' && flags[i] != 'z' && flags[i] != 'j') return false;
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> ArchiveTool::commandLine(const std::string& command,
                                                                 const std::vector<std::string>& arguments,
                                                                 std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<std::vector<std::string>> {
    if (error != nullptr) *error = why;
    return std::nullopt;
  };
  auto bsdtar = findExecutable("bsdtar");
  if (!bsdtar) return fail("bsdtar not found in PATH (package libarchive-tools)");

  std::vector<std::string> argv{*bsdtar};
  if (command == kTarCommand) {
    // "-zxC <destination>": bsdtar ignores z and j when reading and detects the
    // compression itself, as the design's tar does.
    if (arguments.size() != 2 || !isTarFlagWord(arguments[0])) return fail("unexpected tar arguments");
    argv.insert(argv.end(), {arguments[0], arguments[1], "-f", "-"});
  } else if (command == kCopierCommand) {
    if (arguments.size() != 4 || arguments[0] != "-x" || arguments[1] != "-k") return fail("unexpected ditto arguments");
    // "^" anchors the pattern: only the top-level side-file folder is left out.
    argv.insert(argv.end(), {"-x", "-f", arguments[2], "-C", arguments[3], "--exclude", "^__MACOSX/"});
  } else {
    return fail("unknown archive tool " + command);
  }
  argv.insert(argv.end(), kSafetyOptions.begin(), kSafetyOptions.end());
  return argv;
}

std::unique_ptr<WatchedProcess> ArchiveTool::launch(const std::string& command,
                                                    const std::vector<std::string>& arguments, bool pipedInput,
                                                    std::string* error) {
  auto argv = commandLine(command, arguments, error);
  if (!argv) return nullptr;
  WatchedProcess::Options options;
  options.pipedInput = pipedInput;
  options.forwardOutput = pipedInput;
  options.watchedFolder = arguments.back();  // the destination, last in both forms
  options.limits = extractionLimits();
  return WatchedProcess::spawn(*argv, options, error);
}

}  // namespace vantor::platform
