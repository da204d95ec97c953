#pragma once
// A new random (version 4) UUID as upper-case text, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".

#include <string>

namespace vantor {

std::string newUUIDString();

}  // namespace vantor
