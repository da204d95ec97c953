#include "catalog/CatalogDocument.h"

#include <simdjson.h>

#include <deque>
#include <unordered_map>

#include "foundation/DataHelpers.h"

namespace vantor::detail {

namespace {

namespace ondemand = simdjson::ondemand;

constexpr std::string_view kMappingKey = "bundleIDMapping";

// The body of a JSON string from just past its opening quote: control characters,
// unknown escapes and unpaired surrogates are refused, as the system's parser refuses
// them. On success `end` is just past the closing quote.
bool validStringBody(const char* p, const char* limit, const char** end) {
  auto hex4 = [&](unsigned* unit) {
    if (limit - p < 4) return false;
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      char c = *p++;
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
      else return false;
    }
    *unit = value;
    return true;
  };
  while (p < limit) {
    auto c = static_cast<unsigned char>(*p++);
    if (c == '"') {
      *end = p;
      return true;
    }
    if (c < 0x20) return false;
    if (c != '\\') continue;
    if (p >= limit) return false;
    switch (*p++) {
      case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't': break;
      case 'u': {
        unsigned unit = 0;
        if (!hex4(&unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          if (limit - p < 2 || p[0] != '\\' || p[1] != 'u') return false;
          p += 2;
          if (!hex4(&unit) || unit < 0xDC00 || unit > 0xDFFF) return false;
        }
        break;
      }
      default: return false;
    }
  }
  return false;
}

// Walks the whole text once: every value is checked as the system's parser would check
// it, and the records of "bundleIDMapping" and the other top-level values are noted as
// spans of the text. Nothing is converted.
class CatalogScanner {
 public:
  explicit CatalogScanner(const char* limit) : limit_(limit) {}

  // The key's text (unescaped when it has escapes), or an error.
  simdjson::error_code key(ondemand::field& field, std::string_view* text) {
    const char* start = field.key().raw();
    const char* end = nullptr;
    if (!validStringBody(start, limit_, &end)) return simdjson::STRING_ERROR;
    std::string_view raw(start, static_cast<size_t>(end - 1 - start));
    if (raw.find('\\') == std::string_view::npos) {
      *text = raw;
      return simdjson::SUCCESS;
    }
    try {
      unescapedKeys.push_back(Json::parse(std::string_view(start - 1, raw.size() + 2)).get<std::string>());
    } catch (const std::exception&) {
      return simdjson::STRING_ERROR;
    }
    *text = unescapedKeys.back();
    return simdjson::SUCCESS;
  }

  simdjson::error_code value(ondemand::value value, int depth) {
    ondemand::json_type type;
    if (auto error = value.type().get(type)) return error;
    switch (type) {
      case ondemand::json_type::object: {
        ondemand::object object;
        if (auto error = value.get_object().get(object)) return error;
        for (auto result : object) {
          ondemand::field field;
          std::string_view name;
          if (auto error = std::move(result).get(field)) return error;
          if (auto error = key(field, &name)) return error;
          if (auto error = this->value(field.value(), depth + 1)) return error;
        }
        return simdjson::SUCCESS;
      }
      case ondemand::json_type::array: {
        ondemand::array array;
        if (auto error = value.get_array().get(array)) return error;
        for (auto result : array) {
          ondemand::value item;
          if (auto error = std::move(result).get(item)) return error;
          if (auto error = this->value(item, depth + 1)) return error;
        }
        return simdjson::SUCCESS;
      }
      case ondemand::json_type::string: {
        ondemand::raw_json_string raw;
        if (auto error = value.get_raw_json_string().get(raw)) return error;
        const char* end = nullptr;
        return validStringBody(raw.raw(), limit_, &end) ? simdjson::SUCCESS : simdjson::STRING_ERROR;
      }
      case ondemand::json_type::number: {
        ondemand::number number;
        return value.get_number().get(number);
      }
      case ondemand::json_type::boolean: {
        bool flag = false;
        return value.get_bool().get(flag);
      }
      case ondemand::json_type::null: {
        bool isNull = false;
        if (auto error = value.is_null().get(isNull)) return error;
        return isNull ? simdjson::SUCCESS : simdjson::N_ATOM_ERROR;
      }
    }
    return simdjson::INCORRECT_TYPE;
  }

  // A value's span: from its first character to the next structural character after it.
  simdjson::error_code span(ondemand::document& document, ondemand::value value, int depth, std::string_view* text) {
    const char* start = value.raw_json_token().data();
    if (auto error = this->value(value, depth)) return error;
    const char* end = nullptr;
    if (auto error = document.current_location().get(end)) return error;
    while (end > start && (end[-1] == ' ' || end[-1] == '\n' || end[-1] == '\r' || end[-1] == '\t')) --end;
    *text = std::string_view(start, static_cast<size_t>(end - start));
    return simdjson::SUCCESS;
  }

  std::deque<std::string> unescapedKeys;

 private:
  const char* limit_;
};

// A span the scanner has already checked, as a value.
std::optional<Json> parseSpan(std::string_view text) {
  try {
    return Json::parse(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

struct CatalogDocument::Parsed {
  Bytes text;  // the decoded JSON text; every span below points into it
  std::string_view json;  // the text without the scanner's padding
  std::deque<std::string> unescapedKeys;
  bool hasMapping = false;
  std::unordered_map<std::string_view, std::string_view> mapping;  // bundle identifier -> record text
  std::unordered_map<std::string_view, std::string_view> topLevel;  // other top-level key -> value text

  // Checks the whole text and notes the spans; false when the fast path cannot decide.
  bool scan() {
    size_t length = text.size();
    // The scanner reads a little past the end; zeroed room spares a copy of the text.
    text.resize(length + simdjson::SIMDJSON_PADDING);
    const char* begin = reinterpret_cast<const char*>(text.data());
    simdjson::padded_string_view input(begin, length, text.size());
    ondemand::parser parser;
    ondemand::document document;
    if (parser.iterate(input).get(document)) return false;
    json = std::string_view(begin, length);
    CatalogScanner scanner(begin + length);
    ondemand::object root;
    if (document.get_object().get(root)) return false;
    for (auto result : root) {
      ondemand::field field;
      std::string_view name;
      if (std::move(result).get(field) || scanner.key(field, &name)) return false;
      ondemand::value value = field.value();
      ondemand::json_type type;
      if (value.type().get(type)) return false;
      if (name == kMappingKey && type == ondemand::json_type::object) {
        ondemand::object records;
        if (value.get_object().get(records)) return false;
        // A later duplicate of the mapping replaces the earlier one.
        mapping.clear();
        hasMapping = true;
        for (auto recordResult : records) {
          ondemand::field record;
          std::string_view bundleIdentifier, recordText;
          if (std::move(recordResult).get(record) || scanner.key(record, &bundleIdentifier)) return false;
          if (scanner.span(document, record.value(), 2, &recordText)) return false;
          mapping[bundleIdentifier] = recordText;  // later duplicates win
        }
        topLevel.erase(name);
      } else {
        std::string_view valueText;
        if (scanner.span(document, value, 1, &valueText)) return false;
        if (name == kMappingKey) {
          hasMapping = false;
          mapping.clear();
        }
        topLevel[name] = valueText;
      }
    }
    // Anything after the top-level object leaves the scanner somewhere in the text.
    const char* trailing = nullptr;
    if (!document.current_location().get(trailing)) return false;
    unescapedKeys = std::move(scanner.unescapedKeys);
    return true;
  }
};

CatalogDocument::~CatalogDocument() = default;

std::shared_ptr<const CatalogDocument> CatalogDocument::fromDictionary(std::optional<Json> dictionary) {
  std::shared_ptr<CatalogDocument> document(new CatalogDocument());
  document->dictionary_ = std::move(dictionary);
  std::call_once(document->materialized_, [] {});
  return document;
}

std::shared_ptr<const CatalogDocument> CatalogDocument::parse(Bytes text) {
  auto parsed = std::make_unique<Parsed>();
  size_t length = text.size();
  parsed->text = std::move(text);
  if (!parsed->scan()) {
    // Texts the fast path refuses (numbers beyond 64 bits, say) may still be JSON; the
    // system's parser decides and logs why it refuses the rest.
    std::string_view view(reinterpret_cast<const char*>(parsed->text.data()), length);
    auto dictionary = JSONDictionary(view);
    if (!dictionary) return nullptr;
    return fromDictionary(std::move(dictionary));
  }
  std::shared_ptr<CatalogDocument> document(new CatalogDocument());
  document->parsed_ = std::move(parsed);
  return document;
}

const std::optional<Json>& CatalogDocument::dictionary() const {
  std::call_once(materialized_, [this] { dictionary_ = parseSpan(parsed_->json); });
  return dictionary_;
}

const Json* CatalogDocument::mappingValue() const {
  if (!dictionary_ || !dictionary_->is_object()) return nullptr;
  const Json& top = *dictionary_;
  auto it = top.find(kMappingKey);
  if (it == top.end() || !it->is_object()) return nullptr;
  return &*it;
}

bool CatalogDocument::hasMapping() const {
  if (parsed_) return parsed_->hasMapping;
  return mappingValue() != nullptr;
}

std::optional<Json> CatalogDocument::record(std::string_view bundleIdentifier) const {
  if (parsed_) {
    auto it = parsed_->mapping.find(bundleIdentifier);
    if (it == parsed_->mapping.end()) return std::nullopt;
    return parseSpan(it->second);
  }
  const Json* mapping = mappingValue();
  if (mapping == nullptr) return std::nullopt;
  auto it = mapping->find(bundleIdentifier);
  if (it == mapping->end()) return std::nullopt;
  return *it;
}

bool CatalogDocument::hasRecord(std::string_view bundleIdentifier) const {
  if (parsed_) return parsed_->mapping.contains(bundleIdentifier);
  const Json* mapping = mappingValue();
  return mapping != nullptr && mapping->contains(bundleIdentifier);
}

std::vector<std::string> CatalogDocument::topLevelStrings(std::string_view key) const {
  std::vector<std::string> strings;
  std::optional<Json> parsedList;
  const Json* list = nullptr;
  if (parsed_) {
    auto it = parsed_->topLevel.find(key);
    if (it == parsed_->topLevel.end()) return strings;
    parsedList = parseSpan(it->second);
    if (parsedList) list = &*parsedList;
  } else if (dictionary_ && dictionary_->is_object()) {
    const Json& top = *dictionary_;
    auto it = top.find(key);
    if (it != top.end()) list = &*it;
  }
  if (list == nullptr || !list->is_array()) return strings;
  for (const Json& item : *list)
    if (item.is_string()) strings.push_back(item.get<std::string>());
  return strings;
}

}  // namespace vantor::detail
