#pragma once
// The calling thread's stack as text, one frame per entry, as diagnostics record it.

#include <string>
#include <vector>

namespace vantor::platform {

// Innermost frame first; this function's own frame is left out.
std::vector<std::string> callStackSymbols();

}  // namespace vantor::platform
