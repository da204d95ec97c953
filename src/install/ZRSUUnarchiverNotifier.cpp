#include "install/ZRSUUnarchiverNotifier.h"

#include "foundation/Dispatch.h"
#include "install/ZRSUUnarchiverProtocol.h"

namespace vantor {

void ZRSUUnarchiverNotifier::notifySuccess() const {
  if (!completionBlock_) return;
  dispatch_async_main([block = completionBlock_] { block(std::nullopt); });
}

void ZRSUUnarchiverNotifier::notifyFailureWithError(const std::optional<Error>& reason) const {
  Json userInfo{{kLocalizedDescriptionKey, "An error occurred while extracting the archive. Please try again later."}};
  if (reason)
    userInfo[kUnderlyingErrorKey] = Json{{"domain", reason->domain}, {"code", reason->code}, {"userInfo", reason->userInfo}};
  Error error(kSUSparkleErrorDomain, kSUUnarchivingError, userInfo);
  if (!completionBlock_) return;
  dispatch_async_main([block = completionBlock_, error] { block(error); });
}

void ZRSUUnarchiverNotifier::notifyProgress(double progress) const {
  if (!progressBlock_) return;
  dispatch_async_main([block = progressBlock_, progress] { block(progress); });
}

}  // namespace vantor
