#pragma once
// The log's capture file: trimmed to its newest bytes when it has grown too large, then
// written a line at a time at its end.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

namespace vantor::platform {

class LogFile {
 public:
  // Creates the file when it is missing; when it is larger than sizeLimit (0: no limit),
  // keeps only its last sizeLimit bytes. Nothing when it cannot be opened for writing.
  static std::unique_ptr<LogFile> open(const std::string& path, std::uint64_t sizeLimit);

  // Writes the line at the end, also when another process wrote in between.
  void append(std::string_view line);

 private:
  explicit LogFile(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

// This process's identifier, as the log lines show it.
int processIdentifier();

}  // namespace vantor::platform
