#pragma once
// Fatal checks stay on in every build: a broken invariant prints the expression, the
// function, the file and the line to standard error and aborts. The soft check builds its
// report and hands it to a reporter that does nothing; execution goes on.

#include <string>

namespace vantor {

[[noreturn]] void assertionFailed(const char* expression, const char* function, const char* file, int line);
void softCheckFailed(const char* expression, const char* function, const char* file, int line,
                     const std::string& extra);

}  // namespace vantor

#define VANTOR_ASSERT(condition) \
  ((condition) ? static_cast<void>(0) : ::vantor::assertionFailed(#condition, __func__, __FILE__, __LINE__))

#define VANTOR_SOFT_CHECK(condition, extra)                                                  \
  do {                                                                                       \
    if (!(condition)) ::vantor::softCheckFailed(#condition, __func__, __FILE__, __LINE__, (extra)); \
  } while (0)
