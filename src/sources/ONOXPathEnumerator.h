#pragma once
// Walks the node set of one XPath result. Owns the result; holds the document so the
// nodes stay valid. An enumerator made from a failed or empty query has no objects.

#include <libxml/xpath.h>

#include <memory>
#include <vector>

namespace vantor::sources {

class ONOXMLDocument;
class ONOXMLElement;

class ONOXPathEnumerator {
 public:
  ONOXPathEnumerator() = default;
  // Takes ownership of result.
  ONOXPathEnumerator(std::shared_ptr<ONOXMLDocument> document, xmlXPathObjectPtr result);

  ONOXPathEnumerator(ONOXPathEnumerator&&) = default;
  ONOXPathEnumerator& operator=(ONOXPathEnumerator&&) = default;

  // The element at the cursor, then the cursor moves on; nothing at the end.
  std::shared_ptr<ONOXMLElement> nextObject();
  // Nothing past the end.
  std::shared_ptr<ONOXMLElement> objectAtIndex(size_t index) const;
  std::vector<std::shared_ptr<ONOXMLElement>> allObjects() const;
  size_t count() const;
  size_t cursor() const { return cursor_; }

 private:
  struct FreeResult {
    void operator()(xmlXPathObjectPtr result) const { xmlXPathFreeObject(result); }
  };

  std::shared_ptr<ONOXMLDocument> document_;
  std::unique_ptr<xmlXPathObject, FreeResult> result_;
  size_t cursor_ = 0;
};

}  // namespace vantor::sources
