#include "download/HTTPSizeChecker.h"

#include "download/HTTPContentLengthChecker.h"
#include "download/HTTPPartialDownloader.h"

namespace vantor {

void HTTPSizeChecker::checkSizeOfURL(const URL& url, std::int32_t minimumSize, bool allowDownload,
                                     ResultBlock resultBlock) {
  HTTPContentLengthChecker().checkSizeOfURL(
      url, [url, minimumSize, allowDownload, resultBlock = std::move(resultBlock)](std::int64_t length) {
        if (!resultBlock) return;
        if (!allowDownload || length >= minimumSize) {
          resultBlock(length);
          return;
        }
        bool confirmed = HTTPPartialDownloader().downloadURL(url, minimumSize);
        resultBlock(confirmed ? 2 * static_cast<std::int64_t>(minimumSize) : 0);
      });
}

}  // namespace vantor
