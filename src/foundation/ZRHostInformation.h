#pragma once
// Facts about the computer the helper runs on. No state; any thread.

#include <array>
#include <cstdint>
#include <string>

namespace vantor {

class ZRHostInformation {
 public:
  // Whether the network is reachable (VANTOR_ONLINE=0/1 overrides).
  static bool isOnline();
  // The primary Ethernet-class interface's address as "00:1a:2b:0c:4d:5e"; "" on failure.
  static std::string macAddress();
  // The machine model (at most 255 characters); "" when unreadable.
  static std::string machineType();
  // Whether the user belongs to an administrator group.
  static bool isUserAdmin();

  // Six bytes as lower-case two-digit groups joined by ":".
  static std::string formatMACAddress(const std::array<std::uint8_t, 6>& bytes);
};

}  // namespace vantor
