#pragma once
// Helpers for tests only: temporary folders, an isolated home, files, transcripts, and
// running the real binaries.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::test {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points HOME and XDG_RUNTIME_DIR of this test process at a folder of its own (once per
// process, before anything reads them) and marks the calling thread as the main thread.
// Returns the home folder.
const std::string& isolateHome();

void writeFile(const std::string& path, const std::string& contents);
std::string readFile(const std::string& path);
// One JSON value per non-empty line.
std::vector<nlohmann::json> readJsonLines(const std::string& path);

// Collects what the process writes to standard error while it lives.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  // Stops capturing (if still on) and returns the text.
  std::string text();

 private:
  int saved_ = -1;
  std::string file_;
  bool stopped_ = false;
  std::string text_;
};

// A binary of build/bin (VANTOR_BIN_DIR).
std::string binaryPath(const std::string& name);
// The source folder (compiled in; VANTOR_SOURCE_DIR overrides it).
std::string sourceDir();

}  // namespace vantor::test
