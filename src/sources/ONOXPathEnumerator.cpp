#include "sources/ONOXPathEnumerator.h"

#include "sources/ONOXMLDocument.h"

namespace vantor::sources {

ONOXPathEnumerator::ONOXPathEnumerator(std::shared_ptr<ONOXMLDocument> document, xmlXPathObjectPtr result)
    : document_(std::move(document)), result_(result) {}

size_t ONOXPathEnumerator::count() const {
  if (!result_ || result_->nodesetval == nullptr) return 0;
  return static_cast<size_t>(std::max(result_->nodesetval->nodeNr, 0));
}

std::shared_ptr<ONOXMLElement> ONOXPathEnumerator::objectAtIndex(size_t index) const {
  if (index >= count()) return nullptr;
  return document_->elementWithNode(result_->nodesetval->nodeTab[index]);
}

std::shared_ptr<ONOXMLElement> ONOXPathEnumerator::nextObject() {
  if (cursor_ >= count()) return nullptr;
  return objectAtIndex(cursor_++);
}

std::vector<std::shared_ptr<ONOXMLElement>> ONOXPathEnumerator::allObjects() const {
  std::vector<std::shared_ptr<ONOXMLElement>> all;
  for (size_t i = 0, n = count(); i < n; ++i) all.push_back(objectAtIndex(i));
  return all;
}

}  // namespace vantor::sources
