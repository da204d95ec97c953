// Parsing an appcast of 1,000 items and choosing the newest ones.
//   cmake --build build --target FeedParserBench
//   build/bin/FeedParserBench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <string>

#include "sources/SparkleFeedParser.h"

namespace {

std::string thousandItemFeed() {
  std::string feed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle" xmlns:dc="http://purl.org/dc/elements/1.1/">
<channel><title>App Changelog</title><link>https://example.test/appcast.xml</link><language>en</language>
)";
  for (int i = 0; i < 1000; ++i) {
    std::string version = std::to_string(i / 100) + "." + std::to_string(i / 10 % 10) + "." + std::to_string(i % 10);
    std::string build = std::to_string(1000 + i);
    // Newer releases need newer systems, so the newest for the running system is not the newest.
    std::string minimum = "10." + std::to_string(9 + i / 150);
    feed += "<item><title>Version " + version +
            "</title>"
            "<pubDate>Wed, 09 Jan 2019 19:20:11 +0000</pubDate>"
            "<sparkle:releaseNotesLink>https://example.test/notes/" +
            version +
            ".html</sparkle:releaseNotesLink>"
            "<description xml:lang=\"de\"><![CDATA[<ul><li>Fehler behoben</li></ul>]]></description>"
            "<description xml:lang=\"en\"><![CDATA[<ul><li>Fixed a crash when opening files</li>"
            "<li>Faster start-up</li></ul>]]></description>"
            "<sparkle:minimumSystemVersion>" +
            minimum +
            "</sparkle:minimumSystemVersion>"
            "<enclosure url=\"https://example.test/downloads/App-" +
            version + ".zip\" sparkle:version=\"" + build + "\" sparkle:shortVersionString=\"" + version +
            "\" length=\"12345678\" type=\"application/octet-stream\" "
            "sparkle:edSignature="
            "\"7cLALFUHSwvEJWSkV8aMreoBe4fhRa4FncC5NoThKxwThL6FDR7hTiPJh1fo2uagnPogisnQsgFgq6mGkt2RBw==\"/>"
            "</item>\n";
  }
  return feed + "</channel></rss>\n";
}

void BM_ParseThousandItemFeedAndPickNewest(benchmark::State& state) {
  const std::string feed = thousandItemFeed();
  for (auto _ : state) {
    auto parser = vantor::sources::SparkleFeedParser::initWithFeedData(std::string_view(feed),
                                                                       "https://example.test/appcast.xml");
    if (!parser || parser->itemsArray().size() != 1000) state.SkipWithError("feed did not parse");
    benchmark::DoNotOptimize(parser->newestItemForCurrentOS());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(feed.size()));
}
BENCHMARK(BM_ParseThousandItemFeedAndPickNewest)->Unit(benchmark::kMillisecond);

}  // namespace
