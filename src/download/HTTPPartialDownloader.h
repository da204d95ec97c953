#pragma once
// Confirms that a resource is larger than a minimum by reading just past it: the
// transfer is dropped as soon as more than minimumSize bytes have arrived. A final
// status other than 200 counts as nothing received. Blocks until the transfer ends (a
// silent server ends it after the default inactivity limit).

#include <cstdint>
#include <string>

#include "foundation/URL.h"

namespace vantor {

class HTTPPartialDownloader {
 public:
  // True when more than minimumSize bytes arrived.
  bool downloadURL(const URL& url, std::int64_t minimumSize);
};

}  // namespace vantor
