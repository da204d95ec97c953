#include "catalog/CatalogDocument.h"

#include <simdjson.h>

#include <unordered_map>

#include "foundation/DataHelpers.h"

namespace vantor::detail {

namespace {

constexpr std::string_view kMappingKey = "bundleIDMapping";

// The same value the system's JSON parser gives for the text (non-negative integers
// are unsigned there too).
// The element's value; the type is known, so the read cannot fail.
template <class T>
T read(simdjson::dom::element element) {
  T value{};
  if (element.get(value)) return T{};
  return value;
}

Json toJson(simdjson::dom::element element) {
  using Type = simdjson::dom::element_type;
  switch (element.type()) {
    case Type::OBJECT: {
      Json object = Json::object();
      simdjson::dom::object fields;
      if (element.get(fields)) return object;
      for (auto field : fields) object[std::string(field.key)] = toJson(field.value);
      return object;
    }
    case Type::ARRAY: {
      Json array = Json::array();
      simdjson::dom::array items;
      if (element.get(items)) return array;
      for (auto item : items) array.push_back(toJson(item));
      return array;
    }
    case Type::STRING: return Json(std::string(read<std::string_view>(element)));
    case Type::INT64: {
      auto value = read<std::int64_t>(element);
      if (value >= 0) return Json(static_cast<std::uint64_t>(value));
      return Json(value);
    }
    case Type::UINT64: return Json(read<std::uint64_t>(element));
    case Type::DOUBLE: return Json(read<double>(element));
    case Type::BOOL: return Json(read<bool>(element));
    case Type::NULL_VALUE: return Json(nullptr);
  }
  return Json(nullptr);
}

}  // namespace

struct CatalogDocument::Parsed {
  simdjson::dom::document document;
  simdjson::dom::object root;
  bool hasMapping = false;
  // Keys point into the document's own string storage.
  std::unordered_map<std::string_view, simdjson::dom::element> mapping;
};

CatalogDocument::~CatalogDocument() = default;

std::shared_ptr<const CatalogDocument> CatalogDocument::fromDictionary(std::optional<Json> dictionary) {
  std::shared_ptr<CatalogDocument> document(new CatalogDocument());
  document->dictionary_ = std::move(dictionary);
  std::call_once(document->materialized_, [] {});
  return document;
}

std::shared_ptr<const CatalogDocument> CatalogDocument::parse(Bytes text) {
  std::string_view view;
  auto parsed = std::make_unique<Parsed>();
  simdjson::error_code failure;
  {
    // The parser reads a little past the end of the text; give it zeroed room instead of
    // letting it copy the whole text.
    size_t length = text.size();
    text.resize(length + simdjson::SIMDJSON_PADDING);
    view = std::string_view(reinterpret_cast<const char*>(text.data()), length);
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    failure = parser.parse_into_document(parsed->document, text.data(), length, false).get(root);
    if (!failure) failure = root.get_object().get(parsed->root);
  }
  if (failure) {
    // Texts the fast parser refuses (numbers beyond 64 bits, deep nesting) may still be
    // JSON; the system's parser decides and logs why it refuses the rest.
    auto dictionary = JSONDictionary(view);
    if (!dictionary) return nullptr;
    return fromDictionary(std::move(dictionary));
  }

  simdjson::dom::object mapping;
  if (!parsed->root.at_key(kMappingKey).get(mapping)) {
    parsed->hasMapping = true;
    parsed->mapping.reserve(mapping.size());
    // Later duplicates win, as in the system's parser.
    for (auto field : mapping) parsed->mapping[field.key] = field.value;
  }
  std::shared_ptr<CatalogDocument> document(new CatalogDocument());
  document->parsed_ = std::move(parsed);
  return document;
}

const std::optional<Json>& CatalogDocument::dictionary() const {
  std::call_once(materialized_, [this] { dictionary_ = toJson(parsed_->document.root()); });
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
    return toJson(it->second);
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
  if (parsed_) {
    simdjson::dom::array array;
    if (parsed_->root.at_key(key).get(array)) return strings;
    for (auto item : array) {
      std::string_view text;
      if (!item.get_string().get(text)) strings.emplace_back(text);
    }
    return strings;
  }
  if (!dictionary_ || !dictionary_->is_object()) return strings;
  auto it = dictionary_->find(key);
  if (it == dictionary_->end() || !it->is_array()) return strings;
  for (const Json& item : *it)
    if (item.is_string()) strings.push_back(item.get<std::string>());
  return strings;
}

}  // namespace vantor::detail
