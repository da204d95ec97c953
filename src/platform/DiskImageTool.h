#pragma once
// The disk-image tool ("hdiutil attach/detach"), with its arguments, standard input and
// outputs. Linux cannot mount HFS+ or APFS images as a user, so "attach" extracts the
// image with 7-Zip into the mount point, which must lie in volumesDirectory(); the
// mount point then holds what the mounted volume would show (HFS+ metadata folders
// hidden, absolute symbolic links as on the volume). Like the real tool, attach checks
// the image's checksums first: a damaged image fails with "expected   CRC32" in its
// standard error. "detach" with the mount point or the device name that attach printed
// removes the mount point. 7-Zip runs with standard input closed, a password only when
// one came in with -stdinpass, and within extractionLimits().

#include <functional>
#include <string>
#include <vector>

namespace vantor::platform {

struct DiskImageToolResult {
  int status = 0;
  std::string output;
  std::string errorOutput;
};

class DiskImageTool {
 public:
  inline static const std::string kCommand = "/usr/bin/hdiutil";

  // Called with each piece of output as the tool produces it.
  struct OutputHandlers {
    std::function<void(const std::string&)> output;
    std::function<void(const std::string&)> errorOutput;
  };

  // Runs "attach <image> -mountpoint <folder> [-nobrowse] [-noautoopen] [-verbose]
  // [-stdinpass]" or "detach <mount point or device> [-force]".
  static DiskImageToolResult run(const std::vector<std::string>& arguments, const std::string& input,
                                 const OutputHandlers& handlers = {});

  // The private folder that stands in for "/Volumes" (made when an image is attached).
  static std::string volumesDirectory();
};

}  // namespace vantor::platform
