#include "foundation/Random.h"

#include <algorithm>
#include <cstdlib>

namespace vantor {

float generateRandomFloatBetween(float a, float b) {
  return a + (static_cast<float>(::random()) / 2147483647.0f) * (b - a);
}

long generateRandomIntBetween(long a, long b) {
  long low = std::min(a, b), high = std::max(a, b);
  unsigned long span = static_cast<unsigned long>(high - low) + 1;
  return low + static_cast<long>(static_cast<unsigned long>(::random()) % span);
}

Color makeColor(double red, double green, double blue, double alpha) { return {red, green, blue, alpha}; }
Color makeColor255(double red, double green, double blue, double alpha) {
  return {red / 255, green / 255, blue / 255, alpha / 255};
}
Rect makeRectValue(const Rect& rect) { return rect; }

double heightForAttributedString(const std::string& text, double width) {
  return platform::frontEnd().heightForText(text, width);
}

}  // namespace vantor
