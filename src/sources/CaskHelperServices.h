#pragma once
// TEMPORARY bridge to the cask hosts until the product server's settings land.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Json.h"

namespace vantor::services {

std::string caskHost();
std::string makerHost();

}  // namespace vantor::services
