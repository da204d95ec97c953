// vantor-inspect feed FILE|URL [--feed-url URL] [--json]: reads an appcast feed as the
// helper does and prints its items after drops and the two newest items, or why the
// helper would refuse it: "invalid" when the bytes fail the feed validity rule, else the
// kind of failure the parser reports ("unparsable", "noitems", "noversionsnumber",
// "anycompatible").

#include <cstdio>
#include <optional>

#include "CommandOutput.h"
#include "Subcommand.h"
#include "download/HTTPRetryingDownloader.h"
#include "download/URLRequest.h"
#include "foundation/URL.h"
#include "sources/CGIInfoHelper.h"
#include "sources/SparkleFeedParser.h"

namespace vantor::inspect {
namespace {

using sources::SparkleFeedItem;
using sources::SparkleFeedParser;

nlohmann::ordered_json itemJson(const std::shared_ptr<SparkleFeedItem>& item) {
  if (!item) return nullptr;
  nlohmann::ordered_json out;
  out["versionToCompare"] = orNull(item->versionToCompare());
  out["shortVersionString"] = orNull(item->shortVersionString());
  out["bundleVersion"] = orNull(item->bundleVersion());
  out["minimumSystemVersion"] = orNull(item->minimumSystemVersion());
  out["downloadURL"] = orNull(item->downloadURL());
  return out;
}

// The feed's bytes from the URL with the helper's request headers. Unlike the helper, the
// download does not retry until the bytes are a feed, so that a page that is not one can
// be told apart from no answer.
std::optional<Bytes> downloadFeed(const std::string& feedURL) {
  auto url = URL::parse(feedURL);
  if (!url) return std::nullopt;
  URLRequest request(*url);
  request.addValue("text/javascript, text/html, application/xml, */*", "Accept");
  request.setValue("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14_0)", "User-Agent");
  auto data = HTTPRetryingDownloader().downloadRequest(request, 10, 2, 2, [](const Bytes&) { return true; });
  if (!data) return std::nullopt;
  return std::move(data->bytes);
}

std::string itemLine(const nlohmann::ordered_json& item) {
  if (item.is_null()) return "(none)";
  return textOf(item["versionToCompare"]) + " (short " + textOf(item["shortVersionString"]) + ", bundle " +
         textOf(item["bundleVersion"]) + ", minimum system " + textOf(item["minimumSystemVersion"]) + ") " +
         textOf(item["downloadURL"]);
}

void printText(const nlohmann::ordered_json& report) {
  std::printf("status: %s\n", report["status"].get<std::string>().c_str());
  if (report["items"].is_null()) return;
  std::printf("items:\n");
  for (const auto& item : report["items"]) std::printf("  %s\n", itemLine(item).c_str());
  std::printf("newest for any OS: %s\n", itemLine(report["newestItemForAnyOS"]).c_str());
  std::printf("newest for current OS: %s\n", itemLine(report["newestItemForCurrentOS"]).c_str());
}

int runFeed(const std::vector<std::string>& arguments) {
  std::optional<std::string> input, feedURL;
  bool json = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--json") {
      json = true;
    } else if (argument == "--feed-url") {
      if (i + 1 >= arguments.size()) return usage("feed: --feed-url needs a URL");
      feedURL = arguments[++i];
    } else if (!argument.empty() && argument.front() == '-') {
      return usage("feed: unknown option '" + argument + "'");
    } else if (!input) {
      input = argument;
    } else {
      return usage("feed: more than one file or URL given");
    }
  }
  if (!input) return usage("feed: no file or URL given");

  std::optional<Bytes> data;
  if (looksLikeURL(*input)) {
    if (feedURL) return usage("feed: --feed-url is for a file; a URL is its own feed URL");
    feedURL = *input;
    data = downloadFeed(*input);
    if (!data) {
      printRefusal("feed", "nothing came from " + *input + " (no answer or an error status, after 3 attempts)");
      return kExitRefused;
    }
  } else {
    data = readInputFile(*input);
    if (!data) return usage("feed: '" + *input + "' is not a readable file");
  }

  nlohmann::ordered_json report;
  report["status"] = "ok";
  report["items"] = nullptr;
  report["newestItemForAnyOS"] = nullptr;
  report["newestItemForCurrentOS"] = nullptr;
  auto finish = [&](int status) {
    if (json) printJson(report);
    else printText(report);
    return status;
  };

  const std::string_view bytes(reinterpret_cast<const char*>(data->data()), data->size());
  if (!SparkleFeedParser::isFeedData(bytes)) {
    report["status"] = "invalid";
    printRefusal("feed", "the bytes are not a feed: their text lacks \"<rss\" or \"</rss>\"");
    return finish(kExitRefused);
  }

  // The parser says why it refused a feed only in the error event it reports.
  std::optional<Json> refusal;
  CGIInfoHelper::setErrorEventObserverForTesting([&refusal](long code, const std::optional<Json>& info) {
    if (code == 120 && info && !refusal) refusal = *info;
  });
  auto parser = SparkleFeedParser::initWithFeedData(bytes, feedURL);
  CGIInfoHelper::setErrorEventObserverForTesting({});

  if (!parser) {
    std::string kind = "unparsable";
    if (refusal && refusal->contains("errorType") && (*refusal)["errorType"].is_string())
      kind = (*refusal)["errorType"].get<std::string>();
    report["status"] = kind;
    printRefusal("feed", "the helper would refuse this feed: " + kind);
    return finish(kExitRefused);
  }
  report["items"] = nlohmann::ordered_json::array();
  for (const auto& item : parser->itemsArray()) report["items"].push_back(itemJson(item));
  report["newestItemForAnyOS"] = itemJson(parser->newestItemForAnyOS());
  report["newestItemForCurrentOS"] = itemJson(parser->newestItemForCurrentOS());
  return finish(kExitSuccess);
}

const bool registered = registerInspectCommand(
    {"feed", "FILE|URL [--feed-url URL] [--json]",
     "reads an appcast feed as the helper does: items after drops and the newest ones, or why it is refused",
     runFeed});

}  // namespace
}  // namespace vantor::inspect
