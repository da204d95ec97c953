#include "sources/ONOXMLElement.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <cctype>

#include "foundation/Assert.h"
#include "foundation/StringHelpers.h"
#include "sources/ONOCSSConverter.h"

namespace vantor::sources {

namespace {

const char* text(const xmlChar* value) { return reinterpret_cast<const char*>(value); }

// Takes a libxml2-allocated string and frees it.
std::optional<std::string> adopt(xmlChar* value) {
  if (value == nullptr) return std::nullopt;
  std::string result(text(value));
  xmlFree(value);
  return result;
}

// XPath errors come back as a failed evaluation; libxml2 would print them otherwise.
void ignoreXPathError(void*, xmlErrorPtr) {}

// Case-insensitive equality without allocating for the usual all-ASCII names.
bool sameIgnoringCase(const xmlChar* name, std::string_view wanted) {
  std::string_view have = text(name);
  if (have.size() != wanted.size()) {
    bool ascii = std::all_of(have.begin(), have.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return false;
    return equalsIgnoringCase(have, wanted);
  }
  for (size_t i = 0; i < have.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(have[i]), b = static_cast<unsigned char>(wanted[i]);
    if (a >= 0x80 || b >= 0x80) return equalsIgnoringCase(have, wanted);
    if (std::tolower(a) != std::tolower(b)) return false;
  }
  return true;
}

bool matchesTag(xmlNodePtr node, std::optional<std::string_view> tag, std::optional<std::string_view> prefix) {
  if (node->type != XML_ELEMENT_NODE) return false;
  if (tag && (node->name == nullptr || !sameIgnoringCase(node->name, *tag))) return false;
  if (prefix) {
    if (node->ns == nullptr || node->ns->prefix == nullptr) return false;
    if (!sameIgnoringCase(node->ns->prefix, *prefix)) return false;
  }
  return true;
}

}  // namespace

ONOXMLElement::ONOXMLElement(std::shared_ptr<ONOXMLDocument> document, xmlNodePtr node)
    : document_(std::move(document)), node_(node) {
  VANTOR_ASSERT(document_ != nullptr && node_ != nullptr);
}

const std::optional<std::string>& ONOXMLElement::tag() const {
  if (!tag_) tag_ = node_->name != nullptr ? std::optional<std::string>(text(node_->name)) : std::nullopt;
  return *tag_;
}

const std::optional<std::string>& ONOXMLElement::namespacePrefix() const {
  if (!namespace_) {
    bool hasPrefix = node_->type == XML_ELEMENT_NODE || node_->type == XML_ATTRIBUTE_NODE;
    if (hasPrefix && node_->ns != nullptr && node_->ns->prefix != nullptr)
      namespace_ = std::string(text(node_->ns->prefix));
    else
      namespace_.emplace();
  }
  return *namespace_;
}

long ONOXMLElement::lineNumber() const {
  if (!lineNumber_) lineNumber_ = xmlGetLineNo(node_);
  return *lineNumber_;
}

const std::map<std::string, std::string>& ONOXMLElement::attributes() const {
  if (!attributes_) {
    attributes_.emplace();
    if (node_->type == XML_ELEMENT_NODE) {
      for (xmlAttrPtr attribute = node_->properties; attribute != nullptr; attribute = attribute->next) {
        std::string name = text(attribute->name);
        if (attributes_->count(name) != 0) continue;
        if (auto value = valueForAttribute(name)) attributes_->emplace(name, *value);
      }
    }
  }
  return *attributes_;
}

const ONOXMLElementPtr& ONOXMLElement::parent() const {
  if (!parent_) parent_ = document_->elementWithNode(node_->parent);
  return *parent_;
}

const ONOXMLElementPtr& ONOXMLElement::previousSibling() const {
  if (!previousSibling_) previousSibling_ = document_->elementWithNode(node_->prev);
  return *previousSibling_;
}

const ONOXMLElementPtr& ONOXMLElement::nextSibling() const {
  if (!nextSibling_) nextSibling_ = document_->elementWithNode(node_->next);
  return *nextSibling_;
}

const std::optional<std::string>& ONOXMLElement::stringValue() const {
  if (!stringValue_) stringValue_ = adopt(xmlNodeGetContent(node_));
  return *stringValue_;
}

const std::optional<double>& ONOXMLElement::numberValue() const {
  if (!numberValue_) {
    numberValue_.emplace();
    if (const auto& value = stringValue()) *numberValue_ = document_->numberFromString(*value);
  }
  return *numberValue_;
}

const std::optional<std::time_t>& ONOXMLElement::dateValue() const {
  if (!dateValue_) {
    dateValue_.emplace();
    if (const auto& value = stringValue()) *dateValue_ = document_->dateFromString(*value);
  }
  return *dateValue_;
}

bool ONOXMLElement::isBlank() const { return !stringValue() || stringValue()->empty(); }

std::optional<std::string> ONOXMLElement::valueForAttribute(std::string_view name) const {
  std::string key(name);
  return adopt(xmlGetProp(node_, reinterpret_cast<const xmlChar*>(key.c_str())));
}

std::optional<std::string> ONOXMLElement::valueForAttribute(std::string_view name,
                                                            std::string_view namespaceURI) const {
  std::string key(name), uri(namespaceURI);
  return adopt(xmlGetNsProp(node_, reinterpret_cast<const xmlChar*>(key.c_str()),
                            reinterpret_cast<const xmlChar*>(uri.c_str())));
}

std::vector<ONOXMLElementPtr> ONOXMLElement::children() const {
  return childrenAtIndexes(
      indexesOfChildrenPassingTest([](xmlNodePtr node, bool*) { return node->type == XML_ELEMENT_NODE; }));
}

ONOXMLElementPtr ONOXMLElement::objectAtIndexedSubscript(size_t index) const {
  std::vector<ONOXMLElementPtr> all = children();
  VANTOR_ASSERT(index < all.size());
  return all[index];
}

ONOXMLElementPtr ONOXMLElement::firstChildWithTag(std::optional<std::string_view> tag,
                                                  std::optional<std::string_view> namespacePrefix) const {
  auto indexes = indexesOfChildrenPassingTest([&](xmlNodePtr node, bool* stop) {
    bool matches = matchesTag(node, tag, namespacePrefix);
    if (matches) *stop = true;
    return matches;
  });
  std::vector<ONOXMLElementPtr> found = childrenAtIndexes(indexes);
  return found.empty() ? nullptr : found.front();
}

std::vector<ONOXMLElementPtr> ONOXMLElement::childrenWithTag(std::optional<std::string_view> tag,
                                                             std::optional<std::string_view> namespacePrefix) const {
  return childrenAtIndexes(
      indexesOfChildrenPassingTest([&](xmlNodePtr node, bool*) { return matchesTag(node, tag, namespacePrefix); }));
}

std::vector<ONOXMLElementPtr> ONOXMLElement::childrenAtIndexes(const std::set<size_t>& indexes) const {
  std::vector<ONOXMLElementPtr> found;
  if (indexes.empty()) return found;
  size_t index = 0;
  for (xmlNodePtr child = node_->children; child != nullptr && index <= *indexes.rbegin();
       child = child->next, ++index) {
    if (child->type == XML_ELEMENT_NODE && indexes.count(index) != 0)
      found.push_back(document_->elementWithNode(child));
  }
  return found;
}

std::set<size_t> ONOXMLElement::indexesOfChildrenPassingTest(const std::function<bool(xmlNodePtr, bool*)>& test) const {
  std::set<size_t> indexes;
  // Attribute and entity-reference children are not part of the element tree.
  if (node_->type != XML_ELEMENT_NODE && node_->type != XML_DOCUMENT_NODE && node_->type != XML_HTML_DOCUMENT_NODE)
    return indexes;
  size_t index = 0;
  bool stop = false;
  for (xmlNodePtr child = node_->children; child != nullptr && !stop; child = child->next, ++index) {
    if (test(child, &stop)) indexes.insert(index);
  }
  return indexes;
}

xmlXPathObjectPtr ONOXMLElement::evaluate(const std::string& expression) const {
  xmlXPathContextPtr context = xmlXPathNewContext(document_->xmlDocument());
  if (context == nullptr) return nullptr;
  context->node = node_;
  context->error = ignoreXPathError;
  const auto& defaults = document_->defaultNamespaces();
  // Nearer declarations shadow farther ones of the same prefix, as in the document.
  for (xmlNodePtr node = node_;
       node != nullptr && node->type != XML_DOCUMENT_NODE && node->type != XML_HTML_DOCUMENT_NODE;
       node = node->parent) {
    if (node->type != XML_ELEMENT_NODE) continue;
    for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next) {
      if (ns->href == nullptr) continue;
      const xmlChar* prefix = ns->prefix;
      std::string definedPrefix;
      if (prefix == nullptr) {
        if (!defaults) continue;
        auto it = defaults->find(text(ns->href));
        if (it == defaults->end()) continue;
        definedPrefix = it->second;
        prefix = reinterpret_cast<const xmlChar*>(definedPrefix.c_str());
      }
      if (xmlXPathNsLookup(context, prefix) != nullptr) continue;
      xmlXPathRegisterNs(context, prefix, ns->href);
    }
  }
  xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), context);
  xmlXPathFreeContext(context);
  return result;
}

ONOXPathEnumerator ONOXMLElement::XPath(const std::optional<std::string>& expression) const {
  if (!expression) return {};
  xmlXPathObjectPtr result = evaluate(*expression);
  if (result == nullptr) return {};
  if (result->nodesetval == nullptr || result->nodesetval->nodeNr <= 0) {
    xmlXPathFreeObject(result);
    return {};
  }
  return ONOXPathEnumerator(document_, result);
}

ONOXMLElementPtr ONOXMLElement::firstChildWithXPath(const std::optional<std::string>& expression) const {
  return XPath(expression).nextObject();
}

void ONOXMLElement::enumerateElementsWithXPath(const std::optional<std::string>& expression, const Block& block) const {
  ONOXPathEnumerator enumerator = XPath(expression);
  bool stop = false;
  for (size_t index = 0; index < enumerator.count() && !stop; ++index)
    block(enumerator.objectAtIndex(index), index, &stop);
}

std::unique_ptr<ONOXPathFunctionResult> ONOXMLElement::functionResultByEvaluatingXPath(
    const std::optional<std::string>& expression) const {
  if (!expression) return nullptr;
  xmlXPathObjectPtr result = evaluate(*expression);
  if (result == nullptr) return nullptr;
  return std::make_unique<ONOXPathFunctionResult>(result);
}

ONOXPathEnumerator ONOXMLElement::CSS(std::string_view selector) const { return XPath(XPathFromCSS(selector)); }

ONOXMLElementPtr ONOXMLElement::firstChildWithCSS(std::string_view selector) const {
  return firstChildWithXPath(XPathFromCSS(selector));
}

void ONOXMLElement::enumerateElementsWithCSS(std::string_view selector, const Block& block) const {
  enumerateElementsWithXPath(XPathFromCSS(selector), block);
}

std::string ONOXMLElement::description() const {
  xmlBufferPtr buffer = xmlBufferCreate();
  if (buffer == nullptr) return {};
  xmlNodeDump(buffer, document_->xmlDocument(), node_, 0, 0);
  std::string result(text(xmlBufferContent(buffer)), static_cast<size_t>(xmlBufferLength(buffer)));
  xmlBufferFree(buffer);
  return result;
}

}  // namespace vantor::sources
