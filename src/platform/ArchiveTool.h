#pragma once
// The system's tar and archive copier, as the unarchivers call them: "/usr/bin/tar" with
// its flags and the destination, reading the archive from standard input, and
// "/usr/bin/ditto" "-x" "-k" <zip> <destination>. Both run as bsdtar, which detects
// gzip, bzip2, xz and lzma by itself when reading. Entries are never written outside the
// destination (no "..", no absolute paths, nothing through a symbolic link), owners and
// special permission bits are not restored, and the copier skips the resource-fork side
// files under "__MACOSX/". One run may write at most what extractionLimits() allows and
// takes at most its time; past either the tool is stopped and limitFailure() says why.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/WatchedProcess.h"

namespace vantor::platform {

class ArchiveTool {
 public:
  inline static const std::string kTarCommand = "/usr/bin/tar";
  inline static const std::string kCopierCommand = "/usr/bin/ditto";

  // The command line that stands in for command + arguments; nothing (and the reason in
  // *error) for a command or argument list this layer does not know.
  static std::optional<std::vector<std::string>> commandLine(const std::string& command,
                                                             const std::vector<std::string>& arguments,
                                                             std::string* error);

  // Starts the tool on the destination (the last argument) under extractionLimits().
  // With pipedInput the archive's bytes go in through writeInput() and what the tool
  // prints goes to this process's standard error; otherwise its output is collected.
  static std::unique_ptr<WatchedProcess> launch(const std::string& command, const std::vector<std::string>& arguments,
                                                bool pipedInput, std::string* error);
};

}  // namespace vantor::platform
