#pragma once
// The running system's version. On Linux the helper emulates the desktop system it was
// written for: VANTOR_SYSTEM_VERSION ("10.14.6"), else 10.15.7.

namespace vantor::platform {

struct OperatingSystemVersion {
  long majorVersion = 0;
  long minorVersion = 0;
  long patchVersion = 0;
};

// Read on every call, so a test can change the variable. A value that is not one to three
// dot-separated numbers is ignored in favour of the default.
OperatingSystemVersion operatingSystemVersion();

}  // namespace vantor::platform
