#pragma once
// Downloads a small resource (cask file, feed) with a hard time limit per attempt,
// retries and a validity check. Each attempt may take at most timeout + 0.1 seconds in
// all, even while bytes still trickle in; an attempt that fails, runs out of time, gets a
// status other than 200 or whose bytes the checker refuses is followed, after
// waitingTime seconds, by the next, up to maximumRetries + 1 attempts (none at all for a
// negative count). The checker sees only the bytes of its own attempt (empty after a
// failed transfer) and runs on the calling thread. Accepted data carries the index of
// the attempt that delivered it (0 for the first) as its associated value. Silent: the
// caller logs.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "download/DownloadedData.h"
#include "download/URLRequest.h"

namespace vantor {

class HTTPRetryingDownloader {
 public:
  using ValidityChecker = std::function<bool(const Bytes& data)>;
  using Sleeper = std::function<void(double seconds)>;

  std::optional<DownloadedData> downloadURL(const URL& url, double timeout, std::int32_t maximumRetries,
                                            double waitingTime, const ValidityChecker& validityChecker);
  // The request's method, body and header fields are kept; its time limit is replaced.
  std::optional<DownloadedData> downloadRequest(const URLRequest& request, double timeout,
                                                std::int32_t maximumRetries, double waitingTime,
                                                const ValidityChecker& validityChecker);

  // How the calling thread waits between attempts (a plain sleep unless replaced).
  void setSleeper(Sleeper sleeper) { sleeper_ = std::move(sleeper); }

 private:
  Sleeper sleeper_;
};

}  // namespace vantor
