#pragma once
// Helpers on byte data: text decoding with the system's fallbacks, JSON, digests.

#include <optional>
#include <string>

#include "foundation/Bytes.h"
#include "foundation/Json.h"

namespace vantor {

// The text of the data: UTF-8 (or UTF-16/32 with a byte-order mark), else ISO Latin 1.
// Logs "Error: could not create string from data %@" and gives nothing for empty data
// that is not text at all.
std::optional<std::string> stringFromData(const Bytes& data);
std::optional<std::string> stringFromData(std::string_view data);
// UTF-8 only; logs "Error: could not create UTF8 string from data %@" otherwise.
std::optional<std::string> stringUTF8(std::string_view data);
// Decodes UTF-16 (little- or big-endian, with or without byte-order mark) to UTF-8.
std::optional<std::string> decodeUTF16(std::string_view data, bool bigEndianWithoutBOM = false);

std::string SHA1(const Bytes& data);
std::string SHA256(const Bytes& data);
std::string base64String(const Bytes& data);

// JSON: nothing (and the specified log line) when the bytes do not parse or are not the
// wanted kind.
std::optional<Json> JSONObject(std::string_view data);
std::optional<Json> JSONArray(std::string_view data);
std::optional<Json> JSONDictionary(std::string_view data);

// How %@ shows data: "<hex bytes>", shortened to the first 150 bytes from 200 on.
std::string dataDescriptionForLog(std::string_view data);

}  // namespace vantor
