#include "download/URLRequest.h"

#include <algorithm>

namespace vantor {

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return lower(x) < lower(y); });
}

void URLRequest::setValue(const std::string& value, const std::string& field) {
  allHTTPHeaderFields.insert_or_assign(field, value);
}

void URLRequest::addValue(const std::string& value, const std::string& field) {
  auto [it, inserted] = allHTTPHeaderFields.try_emplace(field, value);
  if (!inserted) it->second += ", " + value;
}

std::optional<std::string> URLRequest::valueForHTTPHeaderField(const std::string& field) const {
  auto it = allHTTPHeaderFields.find(field);
  if (it == allHTTPHeaderFields.end()) return std::nullopt;
  return it->second;
}

}  // namespace vantor
