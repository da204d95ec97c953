#pragma once
// Downloaded bytes with a value attached to them: a retried download carries the index of
// the attempt that delivered it (0 for the first), a caller may attach other values.

#include "foundation/Bytes.h"
#include "foundation/Json.h"

namespace vantor {

struct DownloadedData {
  Bytes bytes;
  Json associatedValue;  // null when nothing is attached
};

}  // namespace vantor
