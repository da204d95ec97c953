#pragma once
// Helpers on arrays, named after the methods the rest of the system uses. Arrays of text
// are std::vector<std::string>; mixed arrays are Json.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "foundation/Json.h"

namespace vantor {

std::string joined(const std::vector<std::string>& parts, std::string_view separator);
std::string joinedWithSpaces(const std::vector<std::string>& parts);
std::string joinedWithNewlines(const std::vector<std::string>& parts);
// The string elements concatenated; other elements add nothing.
std::string concatenatedStrings(const Json& array);
// The elements joined as path components.
std::string path(const std::vector<std::string>& components);
// Every element as key, the number 1 as value.
Json dictionary(const std::vector<std::string>& keys);

// The results in order; absent results are left out.
template <class T, class F>
auto mapped(const std::vector<T>& items, F&& block) {
  using R = typename std::invoke_result_t<F, const T&>::value_type;
  std::vector<R> out;
  for (const auto& item : items)
    if (auto value = block(item)) out.push_back(std::move(*value));
  return out;
}

template <class T, class F>
std::vector<T> filtered(const std::vector<T>& items, F&& block) {
  std::vector<T> out;
  for (const auto& item : items)
    if (block(item)) out.push_back(item);
  return out;
}

// The sum of the block's 32-bit results as a 64-bit integer.
template <class T, class F>
std::int64_t reduce(const std::vector<T>& items, F&& block) {
  std::int64_t sum = 0;
  for (const auto& item : items) sum += static_cast<std::int32_t>(block(item));
  return sum;
}

// The element met most often; among equal counts the one met first; nothing when empty.
template <class T>
std::optional<T> mostFrequentObject(const std::vector<T>& items) {
  std::optional<T> best;
  size_t bestCount = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (std::find(items.begin(), items.begin() + static_cast<long>(i), items[i]) != items.begin() + static_cast<long>(i))
      continue;  // counted already
    size_t n = static_cast<size_t>(std::count(items.begin() + static_cast<long>(i), items.end(), items[i]));
    if (n > bestCount) best = items[i], bestCount = n;
  }
  return best;
}

template <class T>
std::optional<T> safeObjectAtIndex(const std::vector<T>& items, size_t index) {
  if (index >= items.size()) return std::nullopt;
  return items[index];
}

template <class T>
void addObjectSafely(std::vector<T>& items, const std::optional<T>& item) {
  if (item) items.push_back(*item);
}

template <class T>
bool containsObject(const std::vector<T>& items, const T& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

template <class T>
std::vector<T> sorted(std::vector<T> items) {
  std::sort(items.begin(), items.end());
  return items;
}

template <class T>
std::set<T> set(const std::vector<T>& items) {
  return std::set<T>(items.begin(), items.end());
}

}  // namespace vantor
