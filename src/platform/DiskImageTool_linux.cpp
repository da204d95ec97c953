#include "platform/DiskImageTool.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/ExtractionWatch.h"
#include "platform/WatchedProcess.h"
#include "vantor/BuildSettings.h"

namespace vantor::platform {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What 7-Zip's listing says about an image: its nesting of formats (outermost first,
// e.g. Dmg then HFS), the partition it opened and the entries inside.
struct Listing {
  std::vector<std::string> types;
  std::string partitionName;
  std::string checksum;
  std::vector<std::string> paths;
  std::uint64_t totalSize = 0;
};

// File systems a mounted volume can show, and the containers 7-Zip opens on the way.
const std::vector<std::string> kFileSystems = {"HFS", "APFS", "Iso", "Udf", "FAT", "NTFS"};
const std::vector<std::string> kContainers = {"Dmg", "GPT", "MBR", "APM"};

// Names 7-Zip shows at an HFS+ volume's root that the mounted volume hides.
const std::vector<std::string> kHiddenArtefacts = {"[HFS+ Private Data]", ".HFS+ Private Directory Data"};

bool contains(const std::vector<std::string>& list, const std::string& value) {
  for (const auto& item : list)
    if (item == value) return true;
  return false;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

Listing parseListing(const std::string& text) {
  Listing listing;
  bool inEntries = false;
  for (const std::string& line : splitLines(text)) {
    if (line == "----------") {
      inEntries = true;
      continue;
    }
    size_t eq = line.find(" = ");
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 3);
    if (!inEntries) {
      if (key == "Type") listing.types.push_back(value);
      else if (key == "Comment" && !value.empty() && value.find('(') != std::string::npos) listing.partitionName = value;
      else if (key == "Checksum") listing.checksum = value;
    } else if (key == "Path") {
      listing.paths.push_back(value);
    } else if (key == "Size" && !value.empty()) {
      listing.totalSize += std::strtoull(value.c_str(), nullptr, 10);
    }
  }
  return listing;
}

// 7-Zip's own error lines, for the tool's error output.
std::string sevenZipErrors(const std::string& output) {
  std::string errors;
  for (const std::string& line : splitLines(output)) {
    if (startsWith(line, "ERROR") || startsWith(line, "Open ERROR") || line.find("Can not open") != std::string::npos ||
        line.find("Wrong password") != std::string::npos || startsWith(line, "WARNING"))
      errors += line + "\n";
  }
  return errors.empty() ? output.substr(output.size() > 2000 ? output.size() - 2000 : 0) : errors;
}

bool reportsDamage(const std::string& output) {
  return output.find("CRC Failed") != std::string::npos || output.find("Data Error") != std::string::npos ||
         output.find("Unexpected end of data") != std::string::npos;
}

bool ensurePrivateDirectory(const std::string& path, std::string* error) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  struct stat st {};
  if (errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
      (st.st_mode & 077) == 0)
    return true;
  *error = "the volumes folder " + path + " is not a private folder of this user";
  return false;
}

// 7-Zip stores an absolute link target under its output folder; put it back as it is on
// the volume (the usual "Applications" -> "/Applications").
void restoreAbsoluteLinks(const std::string& folder, const std::string& outputFolder) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_symlink(ec)) continue;
    std::string target = fs::read_symlink(it->path(), ec).string();
    if (ec || !startsWith(target, outputFolder + "/")) continue;
    fs::remove(it->path(), ec);
    fs::create_symlink(target.substr(outputFolder.size()), it->path(), ec);
  }
}

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::error_code ec;
  return (fs::current_path(ec) / path).string();
}

struct Devices {
  std::mutex mutex;
  std::map<std::string, std::string> mountPoints;  // device -> mount point
  int next = 4;
};
Devices& devices() {
  static auto* shared = new Devices();
  return *shared;
}

class Run {
 public:
  Run(const DiskImageTool::OutputHandlers& handlers) : handlers_(handlers) {}
  void out(const std::string& text) {
    result_.output += text;
    if (handlers_.output) handlers_.output(text);
  }
  void err(const std::string& text) {
    result_.errorOutput += text;
    if (handlers_.errorOutput) handlers_.errorOutput(text);
  }
  DiskImageToolResult fail(const std::string& verb, const std::string& message) {
    err("hdiutil: " + verb + " failed - " + message + "\n");
    result_.status = 1;
    return result_;
  }
  DiskImageToolResult finish() { return result_; }

 private:
  const DiskImageTool::OutputHandlers& handlers_;
  DiskImageToolResult result_;
};

DiskImageToolResult attach(const std::vector<std::string>& arguments, const std::string& input, Run& run) {
  std::string image;
  std::optional<std::string> mountPoint;
  bool stdinpass = false, verbose = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (arg == "-mountpoint" && i + 1 < arguments.size()) mountPoint = arguments[++i];
    else if (arg == "-stdinpass") stdinpass = true;
    else if (arg == "-verbose") verbose = true;
    else if (arg == "-nobrowse" || arg == "-noautoopen" || arg == "-readonly" || arg == "-quiet") continue;
    else if (!arg.empty() && arg.front() == '-') return run.fail("attach", "unknown option " + arg);
    else if (image.empty()) image = arg;
    else return run.fail("attach", "more than one image given");
  }
  if (image.empty()) return run.fail("attach", "no image given");
  if (!mountPoint) return run.fail("attach", "no mount point given");
  std::optional<std::string> password;
  if (stdinpass) password = input.substr(0, input.find('\0'));

  const std::string volumes = DiskImageTool::volumesDirectory();
  std::string error;
  if (!ensurePrivateDirectory(volumes, &error)) return run.fail("attach", error);
  fs::path mount = fs::path(*mountPoint).lexically_normal();
  if (mount.parent_path() != fs::path(volumes) || mount.filename().empty() || mount.filename().string()[0] == '.')
    return run.fail("attach", "mount point " + *mountPoint + " is not in " + volumes);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(mount, ec)) && !fs::remove(mount, ec))
    return run.fail("attach", "mount point " + *mountPoint + " is in use");

  auto sevenZip = findExecutable("7zz");
  if (!sevenZip) return run.fail("attach", "7-Zip (7zz) not found in PATH");
  image = absolutePath(image);
  const ExtractionLimits limits = extractionLimits();
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(limits.maxSeconds));
  auto secondsLeft = [&] { return std::max(0.0, std::chrono::duration<double>(deadline - Clock::now()).count()); };
  auto sevenZipArgv = [&](std::vector<std::string> middle) {
    std::vector<std::string> argv{*sevenZip};
    argv.insert(argv.end(), middle.begin(), middle.end());
    argv.push_back("-bd");
    if (password) argv.push_back("-p" + *password);
    argv.push_back("--");
    argv.push_back(image);
    return argv;
  };
  auto runSevenZip = [&](std::vector<std::string> middle) {
    RunOptions options;
    options.timeoutSeconds = secondsLeft();
    return runProcess(sevenZipArgv(std::move(middle)), options);
  };

  if (verbose) run.err("hdiutil: attach: verbose mode\nInitializing...\n");
  ProcessResult listed = runSevenZip({"l", "-slt"});
  if (!listed.launched) return run.fail("attach", "7-Zip could not be started: " + listed.launchError);
  if (listed.timedOut) return run.fail("attach", "reading the image took too long");
  Listing listing = parseListing(listed.output);
  const std::string partition = listing.partitionName.empty() ? "disk image" : listing.partitionName;

  // Like the real tool, verify the checksums of the image's blocks before anything else:
  // a damaged block can also hide the file system. The check decompresses the whole
  // image, so it runs alongside the extraction; its outcome still comes first, and nothing
  // extracted is moved into place before it passed.
  std::future<ProcessResult> checking;
  if (!listing.types.empty() && listing.types.front() == "Dmg") {
    if (verbose) run.err("Checksumming " + partition + "...\n");
    checking = std::async(std::launch::async, [&] { return runSevenZip({"t", "-tdmg"}); });
  }
  // Waits for the check; the failure to return when it did not pass.
  auto checkFailure = [&]() -> std::optional<DiskImageToolResult> {
    if (!checking.valid()) return std::nullopt;
    ProcessResult tested = checking.get();
    if (tested.timedOut) return run.fail("attach", "checking the image took too long");
    if (reportsDamage(tested.output)) {
      std::string expected = listing.checksum.empty() ? "" : " $" + listing.checksum;
      run.err(partition + ": checksum failed: expected   CRC32" + expected + "\n" + sevenZipErrors(tested.output));
      return run.fail("attach", "image data is damaged");
    }
    if (tested.status != 0) {
      run.err(sevenZipErrors(tested.output));
      return run.fail("attach", "image could not be read");
    }
    if (verbose && !listing.checksum.empty()) run.err(partition + ": verified   CRC32 $" + listing.checksum + "\n");
    return std::nullopt;
  };
  auto failAfterCheck = [&](const std::string& errors, const std::string& message) {
    if (auto failure = checkFailure()) return *failure;
    if (!errors.empty()) run.err(errors);
    return run.fail("attach", message);
  };

  if (listed.status != 0 || listing.types.empty())
    return failAfterCheck(sevenZipErrors(listed.output), "image not recognized");
  const std::string fileSystem = listing.types.back();
  for (size_t i = 0; i + 1 < listing.types.size(); ++i)
    if (!contains(kContainers, listing.types[i])) return failAfterCheck("", "image not recognized");
  if (!contains(kFileSystems, fileSystem)) return failAfterCheck("", "no mountable file systems");
  if (listing.totalSize > limits.maxBytes || listing.paths.size() > limits.maxEntries)
    return failAfterCheck("", "the image holds more than an extraction may write (" +
                                  std::to_string(listing.totalSize) + " bytes in " +
                                  std::to_string(listing.paths.size()) + " files)");

  // Extract next to the mount point, then move the volume's root into place.
  const std::string staging = volumes + "/." + mount.filename().string() + ".extracting";
  fs::remove_all(staging, ec);
  if (::mkdir(staging.c_str(), 0700) != 0) return failAfterCheck("", "cannot create " + staging);
  struct StagingCleanup {
    std::string path;
    ~StagingCleanup() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } cleanup{staging};

  WatchedProcess::Options options;
  options.watchedFolder = staging;
  options.limits = limits;
  options.limits.maxSeconds = secondsLeft();
  auto extractor = WatchedProcess::spawn(sevenZipArgv({"x", "-sns-", "-y", "-o" + staging}), options, &error);
  if (!extractor) return failAfterCheck("", "7-Zip could not be started: " + error);
  std::string extractOutput = extractor->readOutputToEnd();
  int status = extractor->waitForExit();
  if (auto failure = checkFailure()) return *failure;
  if (verbose) run.err("Attaching...\nMounting...\n");
  if (extractor->limitFailure()) return run.fail("attach", "extracting the image " + *extractor->limitFailure());
  if (reportsDamage(extractOutput)) {
    // An image without block checksums (a raw ISO) can still fail to read.
    run.err(partition + ": checksum failed: expected   CRC32\n" + sevenZipErrors(extractOutput));
    return run.fail("attach", "image data is damaged");
  }
  if (status != 0) {
    run.err(sevenZipErrors(extractOutput));
    return run.fail("attach", "the image's contents could not be read");
  }

  restoreAbsoluteLinks(staging, staging);
  std::string root = staging;
  if (fileSystem == "HFS") {
    // 7-Zip puts the volume's name in front of every path.
    std::vector<fs::path> top;
    for (fs::directory_iterator it(staging, ec), end; !ec && it != end; it.increment(ec)) top.push_back(it->path());
    if (top.size() == 1 && fs::is_directory(fs::symlink_status(top[0], ec))) root = top[0].string();
  }
  for (const auto& name : kHiddenArtefacts) fs::remove_all(fs::path(root) / name, ec);
  // The private directory's real name ends in a carriage return on some volumes.
  fs::remove_all(fs::path(root) / (kHiddenArtefacts[1] + "\r"), ec);
  if (::rename(root.c_str(), mount.c_str()) != 0) return run.fail("attach", "cannot create mount point " + mount.string());

  std::string disk;
  {
    auto& shared = devices();
    std::lock_guard lock(shared.mutex);
    disk = "/dev/disk" + std::to_string(shared.next++);
    shared.mountPoints[disk] = mount.string();
    if (fileSystem == "APFS") {
      std::string container = "/dev/disk" + std::to_string(shared.next++);
      shared.mountPoints[container] = mount.string();
      run.out(disk + "          \tGUID_partition_scheme          \t\n");
      run.out(disk + "s1        \tApple_APFS                     \t\n");
      run.out(container + "          \tEF57347C-0000-11AA-AA11-0030654\t\n");
      run.out(container + "s1        \t41504653-0000-11AA-AA11-00306543ECAC\t" + mount.string() + "\n");
    } else if (fileSystem == "HFS") {
      run.out(disk + "          \tGUID_partition_scheme          \t\n");
      run.out(disk + "s1        \tApple_HFS                      \t" + mount.string() + "\n");
    } else {
      run.out(disk + "          \t                               \t" + mount.string() + "\n");
    }
  }
  if (verbose) run.err("hdiutil: attach: returning 0\n");
  return run.finish();
}

DiskImageToolResult detach(const std::vector<std::string>& arguments, Run& run) {
  std::optional<std::string> target;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (arg == "-force" || arg == "-quiet" || arg == "-verbose") continue;
    if (!arg.empty() && arg.front() == '-') return run.fail("detach", "unknown option " + arg);
    if (target) return run.fail("detach", "more than one device given");
    target = arg;
  }
  if (!target) return run.fail("detach", "no device given");

  std::string mount;
  {
    auto& shared = devices();
    std::lock_guard lock(shared.mutex);
    std::string device = *target;
    // "/dev/disk4s1" names a slice of "/dev/disk4".
    if (startsWith(device, "/dev/disk"))
      if (size_t s = device.find('s', 9); s != std::string::npos) device.resize(s);
    if (auto it = shared.mountPoints.find(device); it != shared.mountPoints.end()) mount = it->second;
  }
  if (mount.empty()) {
    // A mount point: only folders in the private volumes folder can be detached.
    fs::path path = fs::path(*target).lexically_normal();
    std::error_code ec;
    if (path.parent_path() == fs::path(DiskImageTool::volumesDirectory()) && !path.filename().empty() &&
        fs::is_directory(fs::symlink_status(path, ec)))
      mount = path.string();
  }
  if (mount.empty()) return run.fail("detach", "No such file or directory");

  std::error_code ec;
  fs::remove_all(mount, ec);
  if (ec) return run.fail("detach", "cannot remove " + mount + ": " + ec.message());
  {
    auto& shared = devices();
    std::lock_guard lock(shared.mutex);
    for (auto it = shared.mountPoints.begin(); it != shared.mountPoints.end();)
      it = it->second == mount ? shared.mountPoints.erase(it) : std::next(it);
  }
  run.out("\"" + fs::path(*target).filename().string() + "\" ejected.\n");
  return run.finish();
}

}  // namespace

std::string DiskImageTool::volumesDirectory() {
  return temporaryDirectory() + "/" + build::kBundleIdentifier + ".volumes-" + std::to_string(::geteuid());
}

DiskImageToolResult DiskImageTool::run(const std::vector<std::string>& arguments, const std::string& input,
                                       const OutputHandlers& handlers) {
  Run run(handlers);
  if (arguments.empty()) return run.fail("", "no verb given");
  if (arguments[0] == "attach") return attach(arguments, input, run);
  if (arguments[0] == "detach") return detach(arguments, run);
  return run.fail(arguments[0], "unknown verb");
}

}  // namespace vantor::platform
