#pragma once
// The privileged road of an install: the administrator right, then the tool
// "installHelperTool" run as root with (fakeAppPath, final path, found app's path). The
// tool writes progress tokens "<NN>", "SUCCESS" at the end, or "!<code>?" on failure;
// its output is read in chunks of at most 1024 bytes.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

class PrivilegedToolRun {
 public:
  PrivilegedToolRun() = delete;

  static constexpr const char* kToolName = "installHelperTool";
  static constexpr std::size_t kChunkSize = 1024;
  // The statuses that tell the user's choices and an internal failure apart.
  static constexpr int kDenied = -60005;
  static constexpr int kCanceled = -60006;
  static constexpr int kInternal = -60008;

  // Where the road ended: the failing call, the tool's failure, or success.
  enum class Stage { Create, CopyRights, Execute, Tool, Succeeded };
  struct Result {
    Stage stage = Stage::Succeeded;
    int status = 0;      // the failing call's status
    std::string output;  // the tool's whole output (the part that was UTF-8)
    long errorCode = 0;  // the tool's "!<code>?", 0 when it gave none
  };

  // Receives the text of the tool's last progress token after every chunk of output.
  using ProgressBlock = std::function<void(const std::string& text)>;

  // Blocks until the tool has ended (or the right was refused); the authorization is
  // freed on every ending.
  static Result run(const std::string& fakeAppPath, const std::string& finalPath, const std::string& appPath,
                    const ProgressBlock& progress);

  // The text after the output's last "<", every ">" removed.
  static std::string progressText(std::string_view output);
  // The integer between the first "!" and the next "?"; 0 without both marks.
  static long toolErrorCode(std::string_view output);

  // Test-only: the tool to start instead of the bundle's resource (nothing: the resource).
  static void setToolPathForTesting(std::optional<std::string> path);
};

}  // namespace vantor
