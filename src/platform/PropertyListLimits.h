#pragma once
// Checks that keep libplist away from inputs it cannot survive: it expands every shared
// object of a binary property list afresh (a few hundred bytes can describe 2^60 nodes),
// it slows down quadratically on long reference chains, and its XML reader and its
// free() recurse without bound. Both checks run in time linear in the input.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantor::platform {

struct PropertyListLimits {
  int maxDepth = 512;                       // nesting of arrays and dictionaries
  std::uint64_t maxNodes = 1u << 22;        // values after expanding shared objects
  std::uint64_t maxPayloadBytes = 1u << 28; // string and data bytes after expansion
};

// True when bytes that begin with "bplist" stay within the limits once expanded. A
// reference cycle, a reference or offset out of range, or a malformed trailer gives false.
bool binaryPropertyListWithinLimits(std::string_view bytes, const PropertyListLimits& limits = {});

// True when the array and dictionary elements of XML text nest no deeper than the limit.
bool xmlPropertyListWithinLimits(std::string_view bytes, const PropertyListLimits& limits = {});

}  // namespace vantor::platform
