#pragma once
// TEMPORARY bridge to the services that CaskHelper needs before they land: the error-event
// sink and the cask hosts.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Json.h"

namespace vantor::services {

std::string caskHost();
std::string makerHost();
void collectErrorEvent(long code, const Json& info);

using EventObserver = std::function<void(long, const Json&)>;
void setEventObserverForTesting(EventObserver observer);

}  // namespace vantor::services
