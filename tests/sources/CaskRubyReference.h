#pragma once
// Evaluates a whole cask text with Ruby itself, under a minimal stand-in for the cask DSL
// (a String subclass with the version methods, `language` blocks, `url` recorded, every
// other stanza ignored), and returns the url that Ruby's own string interpolation gives.
// The text is our own fixture, so evaluating it is fine here.

#include <optional>
#include <string>

namespace vantor::testing_support {

std::optional<std::string> rubyEvaluatedCaskURL(const std::string& caskText, const std::string& language = "en");

}  // namespace vantor::testing_support
