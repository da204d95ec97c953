#include "sources/ZRSUStandardVersionComparator.h"

#include <unicode/uchar.h>

#include "foundation/Format.h"
#include "foundation/StringHelpers.h"
#include "platform/SystemVersion.h"

namespace vantor::sources {

namespace {

using CharacterType = ZRSUStandardVersionComparator::CharacterType;

CharacterType typeOfCodePoint(char32_t c) {
  if (u_isdigit(static_cast<UChar32>(c))) return ZRSUStandardVersionComparator::kNumberType;
  if (c == U'.' || isWhitespaceCharacter(c) || isNewlineCharacter(c) || u_ispunct(static_cast<UChar32>(c)))
    return ZRSUStandardVersionComparator::kSeparatorType;
  return ZRSUStandardVersionComparator::kStringType;
}

struct Part {
  std::u32string text;
  CharacterType type;
};

std::vector<Part> splitIntoParts(std::string_view version) {
  std::vector<Part> parts;
  std::u32string characters = toCodePoints(version);
  for (char32_t c : characters) {
    CharacterType type = typeOfCodePoint(c);
    if (parts.empty() || parts.back().type == ZRSUStandardVersionComparator::kSeparatorType ||
        parts.back().type != type)
      parts.push_back({std::u32string(1, c), type});
    else
      parts.back().text.push_back(c);
  }
  return parts;
}

// Compares two runs of decimal digits by value without converting them to a machine
// integer, so runs longer than 18 digits keep their order instead of saturating.
int compareDigitRuns(const std::u32string& a, const std::u32string& b) {
  auto significant = [](const std::u32string& run) {
    size_t start = 0;
    while (start < run.size() && u_charDigitValue(static_cast<UChar32>(run[start])) == 0) ++start;
    return start;
  };
  size_t startA = significant(a), startB = significant(b);
  size_t lengthA = a.size() - startA, lengthB = b.size() - startB;
  if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
  for (size_t i = 0; i < lengthA; ++i) {
    int32_t digitA = u_charDigitValue(static_cast<UChar32>(a[startA + i]));
    int32_t digitB = u_charDigitValue(static_cast<UChar32>(b[startB + i]));
    if (digitA != digitB) return digitA < digitB ? -1 : 1;
  }
  return 0;
}

// Outcome when the classes of two parts at one position differ: numbers beat everything,
// separators beat strings.
int compareDifferentClasses(CharacterType a, CharacterType b) {
  static constexpr int kTable[3][3] = {
      /* number    */ {0, 1, 1},
      /* string    */ {-1, 0, -1},
      /* separator */ {-1, 1, 0},
  };
  return kTable[a][b];
}

bool beginsWithVAndDigit(const std::u32string& version) {
  return version.size() >= 3 && version[0] == U'v' && version[1] >= U'0' && version[1] <= U'9';
}

// The comparison with its special cases, shared by both public entry points.
int fullComparison(const ZRSUStandardVersionComparator& comparator, std::string_view inA, std::string_view inB) {
  std::string a(inA), b(inB);
  std::u32string charactersA = toCodePoints(a);
  if (beginsWithVAndDigit(charactersA) && !hasPrefix(b, "v")) a.erase(0, 1);
  std::u32string charactersB = toCodePoints(b);
  if (beginsWithVAndDigit(charactersB) && !hasPrefix(a, "v")) b.erase(0, 1);

  if (a + ".0" == b || b + ".0" == a || a + ".0.0" == b || b + ".0.0" == a) return 0;

  bool knownA = !a.empty() && a != "?";
  bool knownB = !b.empty() && b != "?";
  if (!knownA && !b.empty()) return -1;
  if (knownB) return comparator._compareVersion(a, b);
  if (!a.empty()) return 1;
  return comparator._compareVersion(a, b);
}

std::string rewriteLetterSuffix(std::string_view version) {
  if (version.empty()) return std::string(version);
  char last = version.back();
  if (last < 'a' || last > 'z') return std::string(version);
  return makeString("%@.%i", version.substr(0, version.size() - 1), last - 'a' + 1);
}

}  // namespace

const ZRSUStandardVersionComparator& ZRSUStandardVersionComparator::defaultComparator() {
  static const ZRSUStandardVersionComparator instance;
  return instance;
}

ZRSUStandardVersionComparator::CharacterType ZRSUStandardVersionComparator::typeOfCharacter(
    std::string_view character) {
  std::u32string characters = toCodePoints(character);
  if (characters.empty()) return kStringType;
  return typeOfCodePoint(characters.front());
}

std::vector<std::string> ZRSUStandardVersionComparator::splitVersionString(std::string_view version) {
  std::vector<std::string> result;
  for (const Part& part : splitIntoParts(version)) result.push_back(fromCodePoints(part.text));
  return result;
}

int ZRSUStandardVersionComparator::_compareVersion(std::string_view versionA, std::string_view versionB) const {
  std::vector<Part> partsA = splitIntoParts(versionA);
  std::vector<Part> partsB = splitIntoParts(versionB);
  size_t n = std::min(partsA.size(), partsB.size());
  for (size_t i = 0; i < n; ++i) {
    const Part& a = partsA[i];
    const Part& b = partsB[i];
    if (a.type != b.type) return compareDifferentClasses(a.type, b.type);
    if (a.type == kStringType) {
      int order = a.text.compare(b.text);
      if (order != 0) return order < 0 ? -1 : 1;
    } else if (a.type == kNumberType) {
      int order = compareDigitRuns(a.text, b.text);
      if (order != 0) return order;
    }
  }
  if (partsA.size() == partsB.size()) return 0;
  // The longer version decides: a trailing string marks a pre-release ("1.0b" < "1.0"),
  // anything else a further component ("1.0.1" > "1.0").
  bool aIsLonger = partsA.size() > partsB.size();
  const Part& next = aIsLonger ? partsA[n] : partsB[n];
  int longerIsNewer = next.type == kStringType ? -1 : 1;
  return aIsLonger ? longerIsNewer : -longerIsNewer;
}

int ZRSUStandardVersionComparator::compareVersion(std::string_view versionA, std::string_view versionB) const {
  return fullComparison(*this, versionA, versionB);
}

int ZRSUStandardVersionComparator::compareVersionWithLetterSuffix(std::string_view versionA,
                                                                  std::string_view versionB) const {
  return fullComparison(*this, rewriteLetterSuffix(versionA), rewriteLetterSuffix(versionB));
}

bool ZRSUStandardVersionComparator::isSystemVersionNewerThanOurSystemVersion(
    const std::optional<std::string>& version) {
  if (!version || version->empty() || !contains(*version, ".")) return false;
  platform::OperatingSystemVersion running = platform::operatingSystemVersion();
  std::string ours = makeString("%li.%li.%li", running.majorVersion, running.minorVersion, running.patchVersion);
  return defaultComparator().compareVersion(ours, *version) == -1;
}

}  // namespace vantor::sources
