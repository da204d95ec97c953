#pragma once
// The running system's version. On Linux the helper emulates the desktop system it was
// written for: VANTOR_SYSTEM_VERSION ("10.14.6"), else 10.15.7.

#include <string>

namespace vantor::platform {

struct OperatingSystemVersion {
  long majorVersion = 0;
  long minorVersion = 0;
  long patchVersion = 0;
};

// Read on every call, so a test can change the variable. A value that is not one to three
// dot-separated numbers is ignored in favour of the default.
OperatingSystemVersion operatingSystemVersion();

// The same as text: "10.15.7".
std::string systemVersion();
// As the system's version string reads: "Version 10.15.7 (Linux 6.1.0-18-amd64)".
std::string operatingSystemVersionString();

}  // namespace vantor::platform
