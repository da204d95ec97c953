#pragma once
// Random numbers from the C library's random(), which the context object seeds with the
// current time, plus the small graphical value types of the alert layer.

#include "platform/FrontEnd.h"

namespace vantor {

// a + (random() / 2147483647) * (b - a)
float generateRandomFloatBetween(float a, float b);
// Between a and b inclusive, in either order.
long generateRandomIntBetween(long a, long b);

using Color = platform::Color;
struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

Color makeColor(double red, double green, double blue, double alpha);
Color makeColor255(double red, double green, double blue, double alpha);
Rect makeRectValue(const Rect& rect);
// The height the text needs at that width, as the front end lays it out (the terminal
// counts lines); 0 for an empty text.
double heightForAttributedString(const std::string& text, double width);

}  // namespace vantor
