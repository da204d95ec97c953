#include "install/ZRSUDiskImageUnarchiver.h"


#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <semaphore>

#include "foundation/Assert.h"
#include "foundation/DataHelpers.h"
#include "foundation/Dispatch.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/UUIDString.h"
#include "platform/DiskImageTool.h"
#include "platform/UserDefaults.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

// The pre-mount failure and the summary of a failed extraction.
Error summaryError(const std::string& message) {
  bool damaged = contains(message, "expected   CRC32") || contains(message, "error 1000 calculating checksum");
  return Error(kSUSparkleErrorDomain, kSUUnarchivingError,
               Json{{"info", "extractDMG failed"}, {"error", damaged ? "err1crc" : message}});
}

Error fileError(long code, const std::string& description, const std::string& path) {
  return Error(kCocoaErrorDomain, code, Json{{kLocalizedDescriptionKey, description}, {"NSFilePath", path}});
}

// Copies a file, folder or link; links are copied as links, never followed. Fails when
// something already exists at the destination.
std::optional<Error> copyItem(const std::string& source, const std::string& destination) {
  if (fileExists(destination))
    return fileError(516,
                     makeString("\u201c%@\u201d couldn\u2019t be copied to \u201c%@\u201d because an item with the "
                                "same name already exists.",
                                lastPathComponent(source), lastPathComponent(stringByDeletingLastPathComponent(destination))),
                     destination);
  std::error_code ec;
  fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (ec)
    return fileError(512,
                     makeString("\u201c%@\u201d couldn\u2019t be copied: %@", lastPathComponent(source), ec.message()),
                     destination);
  return std::nullopt;
}

long integerDefault(const std::string& key) {
  auto value = platform::UserDefaults::standard().objectForKey(key);
  if (!value) return 0;
  if (value->is_number()) return value->get<long>();
  if (value->is_string()) return std::strtol(value->get<std::string>().c_str(), nullptr, 10);
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  return 0;
}

// Runs the tool with its output collected as it arrives and logged piece by piece.
platform::DiskImageToolResult runWithLiveOutput(const std::vector<std::string>& arguments, const std::string& input) {
  auto output = std::make_shared<std::string>();
  auto errorOutput = std::make_shared<std::string>();
  auto mutex = std::make_shared<std::mutex>();
  platform::DiskImageTool::OutputHandlers handlers;
  handlers.output = [=](const std::string& piece) {
    std::lock_guard lock(*mutex);
    *output += piece;
    cc_log_level(3, "HDIUTIL std output: %@", piece);
  };
  handlers.errorOutput = [=](const std::string& piece) {
    std::lock_guard lock(*mutex);
    *errorOutput += piece;
    cc_log_level(3, "HDIUTIL err output: %@", piece);
  };

  auto finished = std::make_shared<std::binary_semaphore>(0);
  auto result = std::make_shared<platform::DiskImageToolResult>();
  dispatch_async_back([=] {
    *result = platform::DiskImageTool::run(arguments, input, handlers);
    // Termination: no more output is delivered after this point.
    cc_log_level(3, "HDIUTIL DONE - termination handler");
    VANTOR_ASSERT(finished != nullptr);
    finished->release();
  });
  finished->acquire();
  cc_log_level(3, "HDIUTIL DONE result %li", static_cast<long>(result->status));
  std::lock_guard lock(*mutex);
  return {result->status, *output, *errorOutput};
}

}  // namespace

bool ZRSUDiskImageUnarchiver::canUnarchivePath(const std::string& path) { return pathExtension(path) == "dmg"; }

std::string ZRSUDiskImageUnarchiver::description() const {
  return makeString("%@ <%@>", "ZRSUDiskImageUnarchiver", archivePath());
}

std::optional<Error> ZRSUDiskImageUnarchiver::unarchive() { return extractDMG(); }

std::string ZRSUDiskImageUnarchiver::detachTarget(const std::string& attachOutput, const std::string& mountPoint) {
  std::string target = mountPoint;
  if (!contains(attachOutput, "Apple_APFS")) return target;
  for (const std::string& line : lines(attachOutput))
    if (contains(line, "GUID_partition_scheme") && contains(line, "/dev/disk"))
      target = trimmedOfWhitespace(removed(line, "GUID_partition_scheme"));
  return target;
}

std::optional<Error> ZRSUDiskImageUnarchiver::extractDMG() {
  std::string message;
  std::string mountPoint;
  std::string detachTarget;
  try {
    const std::string volumes = platform::DiskImageTool::volumesDirectory();
    do {
      mountPoint = stringByAppendingPathComponent(volumes, newUUIDString());
    } while (fileExists(mountPoint));

    // "yes" accepts the licence agreement some images show when attached.
    std::string input = "yes\n";
    std::vector<std::string> arguments{"attach",      archivePath(), "-mountpoint", mountPoint,
                                       "-nobrowse",   "-noautoopen", "-verbose"};
    const std::string destination = destinationFolder(archivePath());
    createDirectories(destination);
    if (decryptionPassword_) {
      input = *decryptionPassword_ + std::string(1, '\0') + "yes\n";
      arguments.push_back("-stdinpass");
    }

    platform::DiskImageToolResult result;
    const long liveRuns = integerDefault(kLiveOutputDefault);
    if (liveRuns >= 2) {
      platform::UserDefaults::standard().setObject(kLiveOutputDefault, liveRuns - 1);
      result = runWithLiveOutput(arguments, input);
    } else {
      result = platform::DiskImageTool::run(arguments, input);
    }
    const std::optional<std::string> output = result.output.empty() ? std::string() : stringUTF8(result.output);
    const std::optional<std::string> errorOutput =
        result.errorOutput.empty() ? std::string() : stringUTF8(result.errorOutput);

    if (result.status != 0) {
      message = makeString("hdiutil failed with code: %ld data: <<%@>> error: <<%@>>", static_cast<long>(result.status),
                           output, errorOutput);
      cc_log_error("%@", message);
    } else {
      detachTarget = ZRSUDiskImageUnarchiver::detachTarget(output.value_or(""), mountPoint);
    }
  } catch (const std::exception& exception) {
    message = exception.what();
  }

  if (detachTarget.empty()) {
    cc_log_error("Can't mount DMG %@", archivePath());
    return summaryError(message);
  }

  std::optional<Error> resultError;
  const std::string destination = destinationFolder(archivePath());
  auto items = directoryContents(mountPoint);
  if (!items) {
    Error listingError = fileError(260, makeString("The folder \u201c%@\u201d doesn\u2019t exist.", lastPathComponent(mountPoint)),
                                   mountPoint);
    cc_log_error("Couldn't enumerate contents of archive mounted at %@: %@", mountPoint, listingError);
    resultError = listingError;
  } else {
    std::sort(items->begin(), items->end());
    for (const std::string& item : *items) {
      const std::string source = stringByAppendingPathComponent(mountPoint, item);
      if (!isReadablePath(source) || item == ".Spotlight-V100") continue;
      const std::string target = stringByAppendingPathComponent(destination, item);
      cc_log("copyItemAtPath:%@ toPath:%@", source, target);
      if (auto copyError = copyItem(source, target)) {
        cc_log_error("Couldn't copyItemAtPath:%@ toPath:%@ error:%@", source, target, copyError->description());
        resultError = *copyError;
        break;
      }
    }
  }

  // Always detach a mounted image, whatever happened while copying.
  auto detached = platform::DiskImageTool::run({"detach", detachTarget, "-force"}, "");
  if (detached.status != 0) cc_log_error("Failed to unmount %@ Exception: %@", detachTarget, detached.errorOutput);
  return resultError;
}

}  // namespace vantor
