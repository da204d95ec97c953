#pragma once
// A parsed XML or HTML document. The libxml2 tree lives as long as the document or any
// element taken from it (elements hold the document), so elements may outlive every
// other reference to it.
//
// Parsing is lenient (recover) and silent. It never substitutes entities declared in the
// document (only the five predefined ones and character references are expanded), never
// loads a DTD or anything from the network, and keeps libxml2's size and depth limits, so
// entity-expansion bombs, external entities and deeply nested input neither blow up nor
// read local files.

#include <libxml/tree.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Error.h"
#include "sources/ONOXPathEnumerator.h"
#include "sources/ONOXPathFunctionResult.h"

namespace vantor::sources {

class ONOXMLElement;
using ONOXMLElementPtr = std::shared_ptr<ONOXMLElement>;

inline constexpr const char* kONOErrorDomain = "com.ono.error";
inline constexpr const char* kLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";

class ONOXMLDocument : public std::enable_shared_from_this<ONOXMLDocument> {
 public:
  // Nothing when libxml2 could not make a document with a root element out of the bytes;
  // then *error (when given) holds libxml2's last error: domain "com.ono.error", its code,
  // and its message, trimmed, as the failure reason.
  static std::shared_ptr<ONOXMLDocument> XMLDocumentWithData(std::string_view data, Error* error = nullptr);
  // The UTF-8 text converted to the named encoding ("UTF-16", "ISO-8859-1", ...) first.
  static std::shared_ptr<ONOXMLDocument> XMLDocumentWithString(std::string_view text, const std::string& encoding,
                                                               Error* error = nullptr);
  static std::shared_ptr<ONOXMLDocument> HTMLDocumentWithData(std::string_view data, Error* error = nullptr);
  static std::shared_ptr<ONOXMLDocument> HTMLDocumentWithString(std::string_view text, const std::string& encoding,
                                                                Error* error = nullptr);

  ONOXMLDocument(const ONOXMLDocument&) = delete;
  ONOXMLDocument& operator=(const ONOXMLDocument&) = delete;

  xmlDocPtr xmlDocument() const { return document_.get(); }
  // A new wrapper of the root element on every call (a cached one would hold the
  // document and so keep it alive for ever).
  ONOXMLElementPtr rootElement();
  // A wrapper of any node of this document; nothing for a null node.
  ONOXMLElementPtr elementWithNode(xmlNodePtr node);

  // The declared XML version ("1.0").
  const std::optional<std::string>& version() const;
  // The canonical name of the declared encoding; nothing when none is declared or the
  // name is unknown.
  const std::optional<std::string>& stringEncoding() const;

  // Gives a default (unprefixed) namespace a prefix for XPath queries.
  void definePrefix(const std::string& prefix, const std::string& namespaceURI);
  // Namespace URI to prefix; nothing until the first definePrefix.
  const std::optional<std::map<std::string, std::string>>& defaultNamespaces() const { return defaultNamespaces_; }

  // The same queries on the root element.
  ONOXPathEnumerator XPath(const std::optional<std::string>& expression);
  ONOXMLElementPtr firstChildWithXPath(const std::optional<std::string>& expression);
  void enumerateElementsWithXPath(const std::optional<std::string>& expression,
                                  const std::function<void(const ONOXMLElementPtr&, size_t, bool*)>& block);
  std::unique_ptr<ONOXPathFunctionResult> functionResultByEvaluatingXPath(const std::optional<std::string>& expression);
  ONOXPathEnumerator CSS(std::string_view selector);
  ONOXMLElementPtr firstChildWithCSS(std::string_view selector);
  void enumerateElementsWithCSS(std::string_view selector,
                                const std::function<void(const ONOXMLElementPtr&, size_t, bool*)>& block);

  // The number and date readings that elements apply to their text.
  std::optional<double> numberFromString(std::string_view text) const;
  // "yyyy-MM-dd'T'HH:mm:ssZ" in the POSIX locale; the zone as +hhmm, +hh:mm or "Z".
  std::optional<std::time_t> dateFromString(std::string_view text) const;

  bool operator==(const ONOXMLDocument& other) const { return document_.get() == other.document_.get(); }
  size_t hash() const { return std::hash<const void*>()(document_.get()); }

 private:
  struct FreeDocument {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
  };
  struct Private {};

 public:
  ONOXMLDocument(Private, xmlDocPtr document);

 private:
  static std::shared_ptr<ONOXMLDocument> wrap(xmlDocPtr document, Error* error);

  std::unique_ptr<xmlDoc, FreeDocument> document_;
  mutable std::optional<std::optional<std::string>> version_;
  mutable std::optional<std::optional<std::string>> stringEncoding_;
  std::optional<std::map<std::string, std::string>> defaultNamespaces_;
};

}  // namespace vantor::sources
