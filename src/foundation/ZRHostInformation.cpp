#include "foundation/ZRHostInformation.h"

#include "foundation/Format.h"
#include "foundation/Log.h"
#include "platform/HostFacts.h"

namespace vantor {

bool ZRHostInformation::isOnline() { return platform::networkReachable(); }

std::string ZRHostInformation::macAddress() {
  std::string why;
  auto bytes = platform::primaryEthernetAddress(&why);
  if (!bytes) {
    cc_log_error("Error:    FindEthernetInterfaces failed: %@", why);
    return "";
  }
  return formatMACAddress(*bytes);
}

std::string ZRHostInformation::machineType() { return platform::machineModel(); }

bool ZRHostInformation::isUserAdmin() { return platform::userIsAdministrator(); }

std::string ZRHostInformation::formatMACAddress(const std::array<std::uint8_t, 6>& b) {
  return makeString("%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
}

}  // namespace vantor
