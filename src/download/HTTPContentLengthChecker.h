#pragma once
// Asks a server for the length of a resource without reading its body: a GET that is
// dropped as soon as the response head arrives. The result block is called exactly once,
// on the transfer's own thread: with the announced length (-1 when the server does not
// say, whatever the status), or with 0 when no response came.

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/URL.h"

namespace vantor {

class HTTPContentLengthChecker {
 public:
  using ResultBlock = std::function<void(std::int64_t length)>;

  // Returns at once.
  void checkSizeOfURL(const URL& url, ResultBlock resultBlock);
};

}  // namespace vantor
