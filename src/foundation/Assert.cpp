#include "foundation/Assert.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/Format.h"

namespace vantor {

void assertionFailed(const char* expression, const char* function, const char* file, int line) {
  std::fprintf(stderr, "Assertion failed: (%s), function %s, file %s, line %d.\n", expression, function, file, line);
  std::fflush(stderr);
  std::abort();
}

namespace {
void reportSoftCheck(const std::string&) {}  // reports go nowhere in this program
}  // namespace

void softCheckFailed(const char* expression, const char* function, const char* file, int line,
                     const std::string& extra) {
  reportSoftCheck(makeString("%@ %@ %i %@ INFO: %@", function, file, line, expression, extra));
}

}  // namespace vantor
