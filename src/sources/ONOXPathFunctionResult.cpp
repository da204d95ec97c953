#include "sources/ONOXPathFunctionResult.h"

namespace vantor::sources {

std::optional<double> ONOXPathFunctionResult::numberValue() const {
  if (!result_) return std::nullopt;
  return result_->floatval;
}

std::optional<std::string> ONOXPathFunctionResult::stringValue() const {
  if (!result_ || result_->stringval == nullptr) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(result_->stringval));
}

}  // namespace vantor::sources
