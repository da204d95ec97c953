#pragma once
// One-call downloads on URLs, URL texts and requests. None of these looks at the status
// code: an error page comes back as data. Only a transport failure (bad URL, refused
// connection, time limit) gives nothing.

#include <functional>
#include <optional>
#include <string>

#include "download/URLRequest.h"
#include "foundation/Bytes.h"
#include "foundation/URL.h"

namespace vantor {

using DataBlock = std::function<void(std::optional<Bytes> data)>;

// The whole resource (http, https or file), read synchronously; no time limit besides
// the default inactivity limit. The text form gives nothing for a text that is not a URL.
std::optional<Bytes> download(const std::string& urlText);
std::optional<Bytes> download(const URL& url);
// The same; the path form of `contents` reads a file (FileHelpers.h).
std::optional<Bytes> contents(const URL& url);

// downloadWithTimeout(request, 5, true).
std::optional<Bytes> download(const URLRequest& request);
// Sends the request and waits at most timeout seconds for its end; nothing when the time
// runs out (the transfer is then cancelled). No cache is ever consulted, so disableCache
// changes nothing here.
std::optional<Bytes> downloadWithTimeout(const URLRequest& request, double timeout, bool disableCache);

// Runs "/usr/bin/curl -s <url>" and returns what it printed; nothing when the text is
// not a URL or curl could not be started.
std::optional<std::string> downloadWithCurl(const std::string& urlText);
std::optional<std::string> downloadWithCurl(const URL& url);

// A GET; returns at once, the block gets the body (or nothing) on the transfer's thread.
void performGET(const URL& url, DataBlock block);
// The form POST of HTTPSecurePOST with standard certificate checks only.
void performPOST(const URL& url, DataBlock block);
// Wait for the matching operation at most the given seconds; nothing when time ran out.
std::optional<Bytes> performBlockingGET(const URL& url, double seconds);
std::optional<Bytes> performBlockingPOST(const URL& url, double seconds);

}  // namespace vantor
