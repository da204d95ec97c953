#include <execinfo.h>

#include <cstdlib>

#include "platform/CallStack.h"

namespace vantor::platform {

std::vector<std::string> callStackSymbols() {
  void* frames[128];
  int count = backtrace(frames, 128);
  std::vector<std::string> symbols;
  char** names = backtrace_symbols(frames, count);
  if (names == nullptr) return symbols;
  for (int i = 1; i < count; ++i) symbols.emplace_back(names[i]);
  std::free(names);
  return symbols;
}

}  // namespace vantor::platform
