#include "sources/ONOXMLDocument.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <unicode/ucnv.h>

#include <charconv>
#include <climits>
#include <mutex>

#include "foundation/StringHelpers.h"
#include "sources/ONOXMLElement.h"

namespace vantor::sources {

namespace {

// Recover, no error output, no warning output; plus no network access. Entity
// substitution, DTD loading and the huge-tree mode stay off.
constexpr int kParseOptions = XML_PARSE_RECOVER | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET;
static_assert((kParseOptions & 97) == 97);
constexpr int kHTMLParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
static_assert(kHTMLParseOptions == kParseOptions);

void initializeLibxml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

// Entity declarations of the document are ignored, so a reference to one finds nothing and
// is dropped. This is what keeps "billion laughs" and external entities out; the
// predefined entities and character references do not need declarations.
xmlEntityPtr noDeclaredEntity(void*, const xmlChar*) { return nullptr; }
void ignoreEntityDeclaration(void*, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {}
void ignoreUnparsedEntityDeclaration(void*, const xmlChar*, const xmlChar*, const xmlChar*, const xmlChar*) {}

Error errorFromLibxml(const xmlError& error) {
  std::string message = error.message != nullptr ? error.message : "";
  return Error(kONOErrorDomain, error.code,
               Json{{kLocalizedFailureReasonErrorKey, trimmedOfWhitespaceAndNewlines(message)}});
}

std::optional<std::string> convertFromUTF8(std::string_view text, const std::string& encoding) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed =
      ucnv_convert(encoding.c_str(), "UTF-8", nullptr, 0, text.data(), static_cast<int32_t>(text.size()), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  std::string out(static_cast<size_t>(needed), '\0');
  status = U_ZERO_ERROR;
  ucnv_convert(encoding.c_str(), "UTF-8", out.data(), needed, text.data(), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  return out;
}

bool fitsLibxml(std::string_view data, Error* error) {
  if (data.size() <= static_cast<size_t>(INT_MAX)) return true;
  if (error != nullptr)
    *error =
        Error(kONOErrorDomain, XML_ERR_INTERNAL_ERROR, Json{{kLocalizedFailureReasonErrorKey, "Document too large"}});
  return false;
}

}  // namespace

ONOXMLDocument::ONOXMLDocument(Private, xmlDocPtr document) : document_(document) {}

std::shared_ptr<ONOXMLDocument> ONOXMLDocument::wrap(xmlDocPtr document, Error* error) {
  // Recover mode hands back a document even for bytes that hold no element at all; such a
  // document is a failure.
  if (document != nullptr && xmlDocGetRootElement(document) != nullptr) {
    xmlResetLastError();
    return std::make_shared<ONOXMLDocument>(Private{}, document);
  }
  if (document != nullptr) xmlFreeDoc(document);
  if (xmlErrorPtr last = xmlGetLastError(); last != nullptr) {
    if (error != nullptr) *error = errorFromLibxml(*last);
    xmlResetError(last);
  }
  return nullptr;
}

std::shared_ptr<ONOXMLDocument> ONOXMLDocument::XMLDocumentWithData(std::string_view data, Error* error) {
  initializeLibxml();
  if (!fitsLibxml(data, error)) return nullptr;
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (context == nullptr) return wrap(nullptr, error);
  context->sax->entityDecl = ignoreEntityDeclaration;
  context->sax->unparsedEntityDecl = ignoreUnparsedEntityDeclaration;
  context->sax->getEntity = noDeclaredEntity;
  context->sax->getParameterEntity = noDeclaredEntity;
  xmlDocPtr document =
      xmlCtxtReadMemory(context, data.data(), static_cast<int>(data.size()), "", nullptr, kParseOptions);
  xmlFreeParserCtxt(context);
  return wrap(document, error);
}

std::shared_ptr<ONOXMLDocument> ONOXMLDocument::HTMLDocumentWithData(std::string_view data, Error* error) {
  initializeLibxml();
  if (!fitsLibxml(data, error)) return nullptr;
  htmlDocPtr document = htmlReadMemory(data.data(), static_cast<int>(data.size()), "", nullptr, kHTMLParseOptions);
  return wrap(document, error);
}

std::shared_ptr<ONOXMLDocument> ONOXMLDocument::XMLDocumentWithString(std::string_view text,
                                                                      const std::string& encoding, Error* error) {
  auto data = convertFromUTF8(text, encoding);
  if (!data) {
    if (error != nullptr)
      *error = Error(kONOErrorDomain, XML_ERR_UNSUPPORTED_ENCODING,
                     Json{{kLocalizedFailureReasonErrorKey, "Cannot convert the text to " + encoding}});
    return nullptr;
  }
  return XMLDocumentWithData(*data, error);
}

std::shared_ptr<ONOXMLDocument> ONOXMLDocument::HTMLDocumentWithString(std::string_view text,
                                                                       const std::string& encoding, Error* error) {
  auto data = convertFromUTF8(text, encoding);
  if (!data) {
    if (error != nullptr)
      *error = Error(kONOErrorDomain, XML_ERR_UNSUPPORTED_ENCODING,
                     Json{{kLocalizedFailureReasonErrorKey, "Cannot convert the text to " + encoding}});
    return nullptr;
  }
  return HTMLDocumentWithData(*data, error);
}

ONOXMLElementPtr ONOXMLDocument::rootElement() { return elementWithNode(xmlDocGetRootElement(document_.get())); }

ONOXMLElementPtr ONOXMLDocument::elementWithNode(xmlNodePtr node) {
  if (node == nullptr) return nullptr;
  return std::make_shared<ONOXMLElement>(shared_from_this(), node);
}

const std::optional<std::string>& ONOXMLDocument::version() const {
  if (!version_) {
    const xmlChar* text = document_->version;
    version_ = text != nullptr ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt;
  }
  return *version_;
}

const std::optional<std::string>& ONOXMLDocument::stringEncoding() const {
  if (!stringEncoding_) {
    stringEncoding_.emplace();
    if (document_->encoding != nullptr) {
      UErrorCode status = U_ZERO_ERROR;
      const char* name = ucnv_getCanonicalName(reinterpret_cast<const char*>(document_->encoding), "IANA", &status);
      if (U_FAILURE(status) || name == nullptr) {
        status = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(reinterpret_cast<const char*>(document_->encoding), &status);
        if (U_SUCCESS(status) && converter != nullptr) name = ucnv_getName(converter, &status);
        if (U_SUCCESS(status) && name != nullptr) *stringEncoding_ = std::string(name);
        if (converter != nullptr) ucnv_close(converter);
      } else {
        *stringEncoding_ = std::string(name);
      }
    }
  }
  return *stringEncoding_;
}

void ONOXMLDocument::definePrefix(const std::string& prefix, const std::string& namespaceURI) {
  if (!defaultNamespaces_) defaultNamespaces_.emplace();
  (*defaultNamespaces_)[namespaceURI] = prefix;
}

ONOXPathEnumerator ONOXMLDocument::XPath(const std::optional<std::string>& expression) {
  return rootElement()->XPath(expression);
}
ONOXMLElementPtr ONOXMLDocument::firstChildWithXPath(const std::optional<std::string>& expression) {
  return rootElement()->firstChildWithXPath(expression);
}
void ONOXMLDocument::enumerateElementsWithXPath(
    const std::optional<std::string>& expression,
    const std::function<void(const ONOXMLElementPtr&, size_t, bool*)>& block) {
  rootElement()->enumerateElementsWithXPath(expression, block);
}
std::unique_ptr<ONOXPathFunctionResult> ONOXMLDocument::functionResultByEvaluatingXPath(
    const std::optional<std::string>& expression) {
  return rootElement()->functionResultByEvaluatingXPath(expression);
}
ONOXPathEnumerator ONOXMLDocument::CSS(std::string_view selector) { return rootElement()->CSS(selector); }
ONOXMLElementPtr ONOXMLDocument::firstChildWithCSS(std::string_view selector) {
  return rootElement()->firstChildWithCSS(selector);
}
void ONOXMLDocument::enumerateElementsWithCSS(
    std::string_view selector, const std::function<void(const ONOXMLElementPtr&, size_t, bool*)>& block) {
  rootElement()->enumerateElementsWithCSS(selector, block);
}

std::optional<double> ONOXMLDocument::numberFromString(std::string_view text) const {
  // Decimal style: optional sign, digits with "," grouping, optional fraction.
  std::string plain = removed(trimmedOfWhitespaceAndNewlines(text), ",");
  if (plain.empty()) return std::nullopt;
  const char* begin = plain.data();
  if (*begin == '+') ++begin;
  double value = 0;
  auto [end, ec] = std::from_chars(begin, plain.data() + plain.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
  return value;
}

std::optional<std::time_t> ONOXMLDocument::dateFromString(std::string_view text) const {
  auto number = [&](size_t at, size_t length, int& out) {
    if (at + length > text.size()) return false;
    auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + length, out);
    return ec == std::errc() && end == text.data() + at + length;
  };
  std::tm fields{};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!number(0, 4, year) || text.size() < 20 || text[4] != '-' || !number(5, 2, month) || text[7] != '-' ||
      !number(8, 2, day) || text[10] != 'T' || !number(11, 2, hour) || text[13] != ':' || !number(14, 2, minute) ||
      text[16] != ':' || !number(17, 2, second))
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  std::string_view zone = text.substr(19);
  long offset = 0;
  if (zone != "Z") {
    int zoneHours = 0, zoneMinutes = 0;
    bool colon = zone.size() == 6 && zone[3] == ':';
    if ((zone.size() != 5 && !colon) || (zone[0] != '+' && zone[0] != '-') || !number(20, 2, zoneHours) ||
        !number(colon ? 23 : 22, 2, zoneMinutes))
      return std::nullopt;
    offset = (zoneHours * 3600L + zoneMinutes * 60L) * (zone[0] == '-' ? -1 : 1);
  }
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return timegm(&fields) - offset;
}

}  // namespace vantor::sources
