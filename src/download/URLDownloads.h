#pragma once
// One-call downloads on URL texts and requests. None of these looks at the status code:
// an error page comes back as data. Only a transport failure (bad URL, refused
// connection, time limit) gives nothing.

#include <functional>
#include <optional>
#include <string>

#include "download/URLRequest.h"
#include "foundation/Bytes.h"

namespace vantor {

using DataBlock = std::function<void(std::optional<Bytes> data)>;

// The whole resource (http, https or file), read synchronously; no time limit besides
// the default inactivity limit.
std::optional<Bytes> download(const std::string& url);
// The same; the URL form of `contents` (the path form reads a file, see FileHelpers.h).
std::optional<Bytes> contentsOfURL(const std::string& url);

// downloadWithTimeout(request, 5, true).
std::optional<Bytes> download(const URLRequest& request);
// Sends the request and waits at most timeout seconds for its end; nothing when the time
// runs out (the transfer is then cancelled). No cache is ever consulted, so disableCache
// changes nothing here.
std::optional<Bytes> downloadWithTimeout(const URLRequest& request, double timeout, bool disableCache);

// Runs "/usr/bin/curl -s <url>" and returns what it printed; nothing when the text is
// not a URL or curl could not be started.
std::optional<std::string> downloadWithCurl(const std::string& url);

// A GET; returns at once, the block gets the body (or nothing) on the transfer's thread.
void performGET(const std::string& url, DataBlock block);
// The form POST of HTTPSecurePOST with standard certificate checks only.
void performPOST(const std::string& url, DataBlock block);
// Wait for the matching operation at most the given seconds; nothing when time ran out.
std::optional<Bytes> performBlockingGET(const std::string& url, double seconds);
std::optional<Bytes> performBlockingPOST(const std::string& url, double seconds);

}  // namespace vantor
