#pragma once
// Small pieces that several subcommands share: absent values as JSON null or "(none)",
// reading an input file, telling a URL from a file name, and printing a report.

#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>

#include "foundation/Bytes.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/Json.h"
#include "foundation/StringHelpers.h"

namespace vantor::inspect {

inline Json orNull(const std::optional<std::string>& text) { return text ? Json(*text) : Json(); }
inline Json orNull(const std::optional<Json>& value) { return value ? *value : Json(); }

// How a value reads in the text form: strings bare, other values as JSON.
template <typename AnyJson>
std::string textOf(const AnyJson& value) {
  if (value.is_null()) return "(none)";
  return value.is_string() ? value.template get<std::string>()
                           : value.dump(-1, ' ', false, AnyJson::error_handler_t::replace);
}

inline bool looksLikeURL(const std::string& argument) {
  return hasPrefix(argument, "http://") || hasPrefix(argument, "https://");
}

// The whole file, or nothing when it is not a regular file that can be read.
inline std::optional<Bytes> readInputFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return contents(path);
}

template <typename AnyJson>
void printJson(const AnyJson& report) {
  std::printf("%s\n", report.dump(2, ' ', false, AnyJson::error_handler_t::replace).c_str());
}

// Refusals name the subcommand, like usage problems do.
inline void printRefusal(const std::string& command, const std::string& why) {
  std::fprintf(stderr, "vantor-inspect: %s: %s\n", command.c_str(), why.c_str());
}

}  // namespace vantor::inspect
