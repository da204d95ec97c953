#include "platform/SystemVersion.h"

#include <charconv>
#include <string_view>

#include <sys/utsname.h>

#include "platform/Environment.h"

namespace vantor::platform {

namespace {

constexpr OperatingSystemVersion kDefaultVersion{10, 15, 7};

bool parseVersion(std::string_view text, OperatingSystemVersion& out) {
  long* fields[] = {&out.majorVersion, &out.minorVersion, &out.patchVersion};
  size_t index = 0;
  while (true) {
    if (index == 3) return false;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    long value = 0;
    auto [next, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || next == begin || value < 0) return false;
    *fields[index++] = value;
    text.remove_prefix(static_cast<size_t>(next - begin));
    if (text.empty()) return true;
    if (text.front() != '.') return false;
    text.remove_prefix(1);
  }
}

}  // namespace

OperatingSystemVersion operatingSystemVersion() {
  if (auto text = environmentValue("VANTOR_SYSTEM_VERSION")) {
    OperatingSystemVersion parsed;
    if (parseVersion(*text, parsed)) return parsed;
  }
  return kDefaultVersion;
}

std::string systemVersion() {
  auto v = operatingSystemVersion();
  return std::to_string(v.majorVersion) + "." + std::to_string(v.minorVersion) + "." + std::to_string(v.patchVersion);
}

std::string operatingSystemVersionString() {
  std::string text = "Version " + systemVersion();
  utsname name{};
  if (::uname(&name) == 0) text += std::string(" (") + name.sysname + " " + name.release + ")";
  return text;
}

}  // namespace vantor::platform
