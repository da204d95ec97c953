#pragma once
// The size of a resource as its server announces it, optionally confirmed by reading:
// without allowDownload the announced length is passed on unchanged (-1 unknown, 0 no
// response). With allowDownload, a length of at least minimumSize is passed on; a smaller
// or unknown one is checked by reading just past minimumSize bytes, giving
// 2 * minimumSize when they arrived and 0 when not. The result block is called exactly
// once, never on the calling thread.

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/URL.h"

namespace vantor {

class HTTPSizeChecker {
 public:
  using ResultBlock = std::function<void(std::int64_t size)>;

  // Returns at once.
  static void checkSizeOfURL(const URL& url, std::int32_t minimumSize, bool allowDownload,
                             ResultBlock resultBlock);
};

}  // namespace vantor
