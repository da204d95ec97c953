#pragma once
// Downloads one resource whole into memory, with progress and cancellation: the archive
// download of an install. The call blocks its thread until the transfer ends; progress
// and abort are asked on the transfer's own thread, once per received chunk. Only a final
// status of exactly 200 (after redirects) keeps the body; anything else gives nothing.
// The wait has no limit of its own; a transfer that moves no byte for
// inactivityTimeout() seconds fails. One instance serves one transfer at a time.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "download/URLRequest.h"
#include "foundation/Bytes.h"

namespace vantor {

class HTTPDownloader {
 public:
  using ProgressBlock = std::function<void(std::int64_t received, std::int64_t expected)>;
  using AbortBlock = std::function<bool()>;

  // Both blocks are required. Progress gets (0, expected) when the response arrives and
  // (bytes so far, expected) after every chunk; expected is -1 when the server does not
  // say. Abort is asked after every chunk; true cancels the transfer.
  std::optional<Bytes> downloadURL(const URL& url, const HTTPHeaderFields& additionalHeaders,
                                   ProgressBlock progressBlock, AbortBlock abortBlock);

  double inactivityTimeout() const { return inactivityTimeout_; }
  void setInactivityTimeout(double seconds) { inactivityTimeout_ = seconds; }

 private:
  double inactivityTimeout_ = kDefaultTimeoutInterval;
};

}  // namespace vantor
