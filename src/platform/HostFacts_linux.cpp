#include "platform/HostFacts.h"

#include <grp.h>
#include <net/if_arp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Environment.h"

namespace vantor::platform {
namespace {

std::optional<std::string> readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

bool interfaceIsUp(const std::string& name) {
  auto state = readFirstLine("/sys/class/net/" + name + "/operstate");
  // "unknown" is what virtual links (tun, ppp) report while they carry traffic.
  return state && (*state == "up" || *state == "unknown");
}

// The interfaces that carry a default route.
std::vector<std::string> defaultRouteInterfaces() {
  std::vector<std::string> found;
  std::ifstream v4("/proc/net/route");
  std::string line;
  std::getline(v4, line);  // header
  while (std::getline(v4, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask)) continue;
    unsigned long f = std::strtoul(flags.c_str(), nullptr, 16);
    if (destination == "00000000" && mask == "00000000" && (f & 0x1) != 0) found.push_back(iface);
  }
  std::ifstream v6("/proc/net/ipv6_route");
  while (std::getline(v6, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, nextHop, metric, refcnt, use, flags, iface;
    if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refcnt >> use >> flags >>
          iface))
      continue;
    unsigned long f = std::strtoul(flags.c_str(), nullptr, 16);
    // RTF_UP and RTF_GATEWAY; the kernel also lists an unreachable default on "lo".
    if (destination == std::string(32, '0') && prefix == "00" && (f & 0x3) == 0x3 && iface != "lo")
      found.push_back(iface);
  }
  return found;
}

bool isEthernetClass(const std::string& name) {
  auto type = readFirstLine("/sys/class/net/" + name + "/type");
  return type && std::atoi(type->c_str()) == ARPHRD_ETHER;
}

bool userInGroup(const std::string& user, gid_t primaryGroup, const char* groupName) {
  group entry{};
  group* result = nullptr;
  std::vector<char> buffer(16384);
  if (::getgrnam_r(groupName, &entry, buffer.data(), buffer.size(), &result) != 0 || result == nullptr) return false;
  if (result->gr_gid == primaryGroup) return true;
  for (char** member = result->gr_mem; member != nullptr && *member != nullptr; ++member)
    if (user == *member) return true;
  return false;
}

}  // namespace

bool networkReachable() {
  auto override = environmentValue("VANTOR_ONLINE");
  if (override == "1") return true;
  if (override == "0") return false;
  for (const auto& iface : defaultRouteInterfaces())
    if (interfaceIsUp(iface)) return true;
  return false;
}

std::optional<std::array<std::uint8_t, 6>> parseHardwareAddress(const std::string& text) {
  std::array<std::uint8_t, 6> bytes{};
  unsigned int v[6];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &tail) != 6)
    return std::nullopt;
  for (int i = 0; i < 6; ++i) bytes[static_cast<size_t>(i)] = static_cast<std::uint8_t>(v[i]);
  return bytes;
}

std::optional<std::array<std::uint8_t, 6>> primaryEthernetAddress(std::string* why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it("/sys/class/net", ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (names.empty()) {
    if (why) *why = "no network interfaces in /sys/class/net";
    return std::nullopt;
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> candidates;
  for (const auto& route : defaultRouteInterfaces())
    if (isEthernetClass(route)) candidates.push_back(route);
  for (const auto& name : names)
    if (name != "lo" && isEthernetClass(name) && fs::exists("/sys/class/net/" + name + "/device", ec))
      candidates.push_back(name);
  for (const auto& name : names)
    if (name != "lo" && isEthernetClass(name)) candidates.push_back(name);
  for (const auto& name : candidates) {
    auto address = readFirstLine("/sys/class/net/" + name + "/address");
    if (!address) continue;
    if (auto bytes = parseHardwareAddress(*address)) return bytes;
  }
  if (why) *why = "no Ethernet-class interface with a hardware address";
  return std::nullopt;
}

std::string machineModel() {
  for (const char* file : {"/sys/class/dmi/id/product_name", "/sys/class/dmi/id/board_name"}) {
    auto model = readFirstLine(file);
    if (model && !model->empty()) return model->substr(0, 255);
  }
  return "";
}

std::string loginName() {
  passwd entry{};
  passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || result == nullptr) return "";
  return result->pw_name;
}

bool userIsAdministrator() {
  if (::getuid() == 0) return true;
  std::string user = loginName();
  gid_t primary = ::getgid();
  for (const char* name : {"admin", "sudo", "wheel"})
    if (userInGroup(user, primary, name)) return true;
  return false;
}

}  // namespace vantor::platform
