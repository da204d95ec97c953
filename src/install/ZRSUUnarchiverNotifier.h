#pragma once
// The callback form of reporting an extraction: completion (nothing or an error) and
// progress, each delivered asynchronously on the main queue.

#include <functional>
#include <optional>

#include "foundation/Error.h"

namespace vantor {

class ZRSUUnarchiverNotifier {
 public:
  using CompletionBlock = std::function<void(std::optional<Error>)>;
  using ProgressBlock = std::function<void(double)>;

  ZRSUUnarchiverNotifier(CompletionBlock completionBlock, ProgressBlock progressBlock)
      : completionBlock_(std::move(completionBlock)), progressBlock_(std::move(progressBlock)) {}

  void notifySuccess() const;
  // Completes with a new error (3000, "SUSparkleErrorDomain") whose underlying error is
  // the given one.
  void notifyFailureWithError(const std::optional<Error>& reason) const;
  void notifyProgress(double progress) const;

  // The user-info key of the wrapped error (a dictionary of domain, code and userInfo).
  inline static const char* kUnderlyingErrorKey = "NSUnderlyingError";

 private:
  CompletionBlock completionBlock_;
  ProgressBlock progressBlock_;
};

}  // namespace vantor
