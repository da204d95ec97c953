#pragma once
// ZRSUSpecialVersionComparator, the letter-suffix comparator: the variant whose plain
// comparison is the letter-suffix comparison, so 1.2a is newer than 1.2. Nothing on the
// install road uses it.

#include "sources/ZRSUStandardVersionComparator.h"

namespace vantor::sources {

class ZRSUSpecialVersionComparator : public ZRSUStandardVersionComparator {
 public:
  static const ZRSUSpecialVersionComparator& defaultComparator();

  int compareVersion(std::string_view versionA, std::string_view versionB) const override;
};

}  // namespace vantor::sources
