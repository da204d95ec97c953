#include "sources/CaskHelperServices.h"

#include <cstdlib>
#include <mutex>
#include <optional>

#include "foundation/Log.h"
#include "platform/Environment.h"
#include "vantor/BuildSettings.h"

namespace vantor::services {

std::string caskHost() { return platform::environmentValue("VANTOR_CASK_HOST").value_or(build::kCaskHost); }
std::string makerHost() { return platform::environmentValue("VANTOR_MAKER_HOST").value_or(build::kMakerHost); }

}  // namespace vantor::services
