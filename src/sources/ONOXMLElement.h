#pragma once
// One node of a parsed document. The element keeps its document (and so the libxml2 tree)
// alive and never frees its node. Properties are read on first use and then kept; every
// lookup makes new wrappers. Equality is that of the node.

#include <libxml/tree.h>

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sources/ONOXMLDocument.h"

namespace vantor::sources {

class ONOXMLElement {
 public:
  using Block = std::function<void(const ONOXMLElementPtr&, size_t, bool*)>;

  ONOXMLElement(std::shared_ptr<ONOXMLDocument> document, xmlNodePtr node);
  ONOXMLElement(const ONOXMLElement&) = delete;
  ONOXMLElement& operator=(const ONOXMLElement&) = delete;

  const std::shared_ptr<ONOXMLDocument>& document() const { return document_; }
  xmlNodePtr xmlNode() const { return node_; }

  // The node's name.
  const std::optional<std::string>& tag() const;
  // The prefix of the node's namespace, or nothing.
  const std::optional<std::string>& namespacePrefix() const;
  long lineNumber() const;
  // Every attribute by local name; of several with one local name the first counts.
  const std::map<std::string, std::string>& attributes() const;
  // Neighbours, which may be text, comment or other non-element nodes.
  const ONOXMLElementPtr& parent() const;
  const ONOXMLElementPtr& previousSibling() const;
  const ONOXMLElementPtr& nextSibling() const;
  // The text of the node and all its descendants.
  const std::optional<std::string>& stringValue() const;
  const std::optional<double>& numberValue() const;
  const std::optional<std::time_t>& dateValue() const;
  bool isBlank() const;

  // The attribute by local name, whatever its namespace.
  std::optional<std::string> valueForAttribute(std::string_view name) const;
  std::optional<std::string> objectForKeyedSubscript(std::string_view name) const { return valueForAttribute(name); }
  std::optional<std::string> valueForAttribute(std::string_view name, std::string_view namespaceURI) const;

  // The element children in document order.
  std::vector<ONOXMLElementPtr> children() const;
  // The element child at that position; asserts that there is one.
  ONOXMLElementPtr objectAtIndexedSubscript(size_t index) const;
  // Children whose name equals tag ignoring case and, when a prefix is given, whose
  // namespace prefix equals it ignoring case. Either may be nothing, meaning any.
  ONOXMLElementPtr firstChildWithTag(std::optional<std::string_view> tag,
                                     std::optional<std::string_view> namespacePrefix = std::nullopt) const;
  std::vector<ONOXMLElementPtr> childrenWithTag(std::optional<std::string_view> tag,
                                                std::optional<std::string_view> namespacePrefix = std::nullopt) const;
  // Positions count every child node, text included; only element nodes are returned.
  std::vector<ONOXMLElementPtr> childrenAtIndexes(const std::set<size_t>& indexes) const;
  // The test returns whether the child passes; setting *stop ends the walk after it.
  std::set<size_t> indexesOfChildrenPassingTest(const std::function<bool(xmlNodePtr, bool*)>& test) const;

  // XPath relative to this element, with the namespaces in scope here registered under
  // their prefixes (default namespaces under the prefix the document defines for them).
  ONOXPathEnumerator XPath(const std::optional<std::string>& expression) const;
  ONOXMLElementPtr firstChildWithXPath(const std::optional<std::string>& expression) const;
  void enumerateElementsWithXPath(const std::optional<std::string>& expression, const Block& block) const;
  std::unique_ptr<ONOXPathFunctionResult> functionResultByEvaluatingXPath(
      const std::optional<std::string>& expression) const;
  // Id, class, attribute and tag selectors with descendant and child combinators, and
  // groups; any other selector finds nothing.
  ONOXPathEnumerator CSS(std::string_view selector) const;
  ONOXMLElementPtr firstChildWithCSS(std::string_view selector) const;
  void enumerateElementsWithCSS(std::string_view selector, const Block& block) const;

  // The node serialized without indentation.
  std::string description() const;

  bool operator==(const ONOXMLElement& other) const { return node_ == other.node_; }
  size_t hash() const { return std::hash<const void*>()(node_); }

 private:
  // Evaluates with the namespace registrations; nothing when evaluation failed.
  xmlXPathObjectPtr evaluate(const std::string& expression) const;

  std::shared_ptr<ONOXMLDocument> document_;
  xmlNodePtr node_;

  mutable std::optional<std::optional<std::string>> tag_, namespace_, stringValue_;
  mutable std::optional<long> lineNumber_;
  mutable std::optional<std::map<std::string, std::string>> attributes_;
  mutable std::optional<ONOXMLElementPtr> parent_, previousSibling_, nextSibling_;
  mutable std::optional<std::optional<double>> numberValue_;
  mutable std::optional<std::optional<std::time_t>> dateValue_;
};

}  // namespace vantor::sources

template <>
struct std::hash<vantor::sources::ONOXMLElement> {
  size_t operator()(const vantor::sources::ONOXMLElement& element) const { return element.hash(); }
};
template <>
struct std::hash<vantor::sources::ONOXMLDocument> {
  size_t operator()(const vantor::sources::ONOXMLDocument& document) const { return document.hash(); }
};
