#pragma once
// Facts about the computer, from the kernel: network reachability, the primary
// Ethernet-class interface's hardware address, the machine model and the administrator
// groups. VANTOR_ONLINE=0/1 overrides the reachability test.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::platform {

// VANTOR_ONLINE when it is "0" or "1"; else whether the kernel has a default route
// (IPv4 or IPv6) on an interface that is up.
bool networkReachable();

// The hardware address of the primary Ethernet-class interface: the one carrying the
// default route when it is Ethernet-class, else the first (by name) non-loopback one
// that has a device behind it, else the first non-loopback one. Nothing when there is
// none; *why then says what failed.
std::optional<std::array<std::uint8_t, 6>> primaryEthernetAddress(std::string* why = nullptr);

// "00:1a:2b:0c:4d:5e"; nothing unless the text holds six hexadecimal groups.
std::optional<std::array<std::uint8_t, 6>> parseHardwareAddress(const std::string& text);

// The model from /sys/class/dmi/id (product name, else board name); "" when unreadable.
std::string machineModel();

// The login name of the real user id; "" when the user database has no entry.
std::string loginName();
// Whether the user is root or a member (listed, or by primary group) of admin, sudo or wheel.
bool userIsAdministrator();

}  // namespace vantor::platform
