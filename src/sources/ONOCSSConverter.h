#pragma once
// Turns a CSS selector into an XPath expression evaluated relative to an element.
// Understood: tag names and "*", #id, .class, [attribute] and [attribute=value] on one
// element, the descendant (blank) and child (">") combinators, and groups (","). Anything
// else (pseudo-classes, sibling combinators, other attribute operators) gives nothing
// rather than an expression that would match something else.

#include <optional>
#include <string>
#include <string_view>

namespace vantor::sources {

std::optional<std::string> XPathFromCSS(std::string_view selector);

}  // namespace vantor::sources
