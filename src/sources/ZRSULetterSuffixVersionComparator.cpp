#include "sources/ZRSULetterSuffixVersionComparator.h"

namespace vantor::sources {

const ZRSUSpecialVersionComparator& ZRSUSpecialVersionComparator::defaultComparator() {
  static const ZRSUSpecialVersionComparator instance;
  return instance;
}

int ZRSUSpecialVersionComparator::compareVersion(std::string_view versionA, std::string_view versionB) const {
  return compareVersionWithLetterSuffix(versionA, versionB);
}

}  // namespace vantor::sources
