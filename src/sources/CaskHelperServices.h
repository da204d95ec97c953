#pragma once
// TEMPORARY bridge to the foundation services that CaskHelper needs (events, named-value
// dictionaries, preferred languages, hosts, the full-disk alert); replaced by the real
// ones as they land.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Format.h"
#include "foundation/Json.h"
#include "foundation/StringHelpers.h"

namespace vantor::services {

std::string caskHost();
std::string makerHost();
std::vector<std::string> preferredLanguages2Letter();
void collectErrorEvent(long code, const Json& info);
[[noreturn]] void terminateForFullDisk();

using EventObserver = std::function<void(long, const Json&)>;
void setEventObserverForTesting(EventObserver observer);
void setPreferredLanguagesForTesting(std::vector<std::string> languages);

template <class... Args>
Json variables(std::string_view names, const Args&... values) {
  std::vector<FormatArg> list;
  (list.emplace_back(values), ...);
  Json out = Json::object();
  auto keys = split(names, ",");
  for (size_t i = 0; i < keys.size() && i < list.size(); ++i)
    out[trimmedOfWhitespaceAndNewlines(keys[i])] = list[i].toJson();
  return out;
}

}  // namespace vantor::services
