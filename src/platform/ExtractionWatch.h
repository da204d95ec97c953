#pragma once
// Limits on what one extraction may write and how long it may take, and a watch that
// measures a folder on its own thread while a tool extracts into it. A zip bomb or a
// stream that never ends is stopped by its caller as soon as exceeded() says so.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vantor::platform {

struct ExtractionLimits {
  std::uint64_t maxBytes = 0;    // disk use of everything written, symbolic links not followed
  std::uint64_t maxEntries = 0;  // files, folders and links
  double maxSeconds = 0;
};

// The build's limits unless replaced (tests and tools use smaller ones).
ExtractionLimits extractionLimits();
void setExtractionLimits(std::optional<ExtractionLimits> limits);

struct FolderUsage {
  std::uint64_t bytes = 0;
  std::uint64_t entries = 0;
};
// Adds up a folder's tree without following links or leaving its file system; each
// file counts with the larger of its length and its allocated blocks.
FolderUsage measureFolder(const std::string& folder);

class ExtractionWatch {
 public:
  ExtractionWatch(std::string folder, const ExtractionLimits& limits);
  ~ExtractionWatch();
  ExtractionWatch(const ExtractionWatch&) = delete;
  ExtractionWatch& operator=(const ExtractionWatch&) = delete;

  // Why the extraction must stop ("wrote more than the limit of N bytes", "did not
  // finish within N seconds"), or nothing while it keeps within its limits.
  std::optional<std::string> exceeded();
  // Measures the folder once more now; a tool that finishes between two periodic
  // measurements must not slip past the limits.
  std::optional<std::string> exceededAfterExit();

 private:
  void run();
  // Measures the folder and records the first limit it exceeds; returns the time it took.
  std::chrono::steady_clock::duration measure(std::unique_lock<std::mutex>& lock);

  std::string folder_;
  ExtractionLimits limits_;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::optional<std::string> reason_;
  std::thread thread_;
};

}  // namespace vantor::platform
