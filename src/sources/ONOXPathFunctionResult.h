#pragma once
// A scalar XPath result (boolean, number or string, as "count(//item)" gives). Owns it.

#include <libxml/xpath.h>

#include <memory>
#include <optional>
#include <string>

namespace vantor::sources {

class ONOXPathFunctionResult {
 public:
  // Takes ownership of result.
  explicit ONOXPathFunctionResult(xmlXPathObjectPtr result) : result_(result) {}

  bool boolValue() const { return result_ && result_->boolval > 0; }
  double numericValue() const { return result_ ? result_->floatval : 0; }
  std::optional<double> numberValue() const;
  std::optional<std::string> stringValue() const;

 private:
  struct FreeResult {
    void operator()(xmlXPathObjectPtr result) const { xmlXPathFreeObject(result); }
  };
  std::unique_ptr<xmlXPathObject, FreeResult> result_;
};

}  // namespace vantor::sources
