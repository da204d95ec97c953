#include <gtest/gtest.h>

#include <string>

#include "sources/ONOCSSConverter.h"
#include "sources/ONOXMLDocument.h"
#include "sources/ONOXMLElement.h"

namespace vantor::sources {
namespace {

constexpr const char* kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>App</title>
    <item>
      <title>Version 2.0</title>
      <sparkle:version>200</sparkle:version>
      <enclosure url="https://example.test/App-2.0.zip" sparkle:version="200" length="1234"/>
    </item>
    <item><title>Version 1.0</title></item>
  </channel>
</rss>)";

std::shared_ptr<ONOXMLDocument> parse(std::string_view xml) {
  Error error;
  auto document = ONOXMLDocument::XMLDocumentWithData(xml, &error);
  EXPECT_NE(document, nullptr) << error.description();
  return document;
}

TEST(ONOXMLDocumentTest, BytesThatAreNotXMLGiveNothingAndLibxmlsMessage) {
  struct {
    std::string bytes;
    long code;
    const char* reason;
  } cases[] = {
      {"this is no XML at all", 4, "Start tag expected, '<' not found"},
      {std::string("\x01\x02\xff\xfe\x00", 5), 4, "Start tag expected, '<' not found"},
      {"", 4, "Document is empty"},
      {"<?xml version=\"1.0\"?>", 4, "Start tag expected, '<' not found"},
  };
  for (const auto& c : cases) {
    Error error;
    EXPECT_EQ(ONOXMLDocument::XMLDocumentWithData(c.bytes, &error), nullptr);
    EXPECT_EQ(error.domain, "com.ono.error");
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.userInfo.value("NSLocalizedFailureReason", ""), c.reason);
    EXPECT_EQ(xmlGetLastError(), nullptr) << "the last error is reset after reporting it";
  }
  EXPECT_EQ(ONOXMLDocument::XMLDocumentWithData("nothing"), nullptr);  // no out-parameter: no error wanted
}

TEST(ONOXMLDocumentTest, RecoversFromMalformedXML) {
  auto document = parse("<rss><channel><item><title>A & B</title><item>");
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(document->rootElement()->tag(), "rss");
  EXPECT_EQ(xmlGetLastError(), nullptr);
}

TEST(ONOXMLDocumentTest, ChildLookupIgnoresCaseAndMatchesByPrefix) {
  auto document = parse(kFeed);
  auto item = document->rootElement()->firstChildWithTag("channel")->firstChildWithTag("item");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->firstChildWithTag("ENCLOSURE")->tag(), "enclosure");
  auto version = item->firstChildWithTag("version", "SPARKLE");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->stringValue(), "200");
  EXPECT_EQ(version->namespacePrefix(), "sparkle");
  EXPECT_EQ(item->firstChildWithTag("version")->stringValue(), "200");  // any prefix
  EXPECT_EQ(item->firstChildWithTag("version", "other"), nullptr);
  EXPECT_EQ(item->firstChildWithTag("title", "sparkle"), nullptr);  // no prefix at all
  EXPECT_EQ(item->firstChildWithTag("text"), nullptr);              // text nodes are no children
  EXPECT_EQ(item->childrenWithTag(std::nullopt, "sparkle").size(), 1u);
  EXPECT_EQ(document->rootElement()->firstChildWithTag("channel")->childrenWithTag("ITEM").size(), 2u);
}

TEST(ONOXMLDocumentTest, ChildPositionsCountTextNodes) {
  auto document = parse("<r>text<a/> <b/><!-- c --><d/></r>");
  auto root = document->rootElement();
  auto everything = root->indexesOfChildrenPassingTest([](xmlNodePtr, bool*) { return true; });
  EXPECT_EQ(everything, (std::set<size_t>{0, 1, 2, 3, 4, 5}));
  auto picked = root->childrenAtIndexes({0, 1, 5});  // the text at 0 is dropped
  ASSERT_EQ(picked.size(), 2u);
  EXPECT_EQ(picked[0]->tag(), "a");
  EXPECT_EQ(picked[1]->tag(), "d");
  auto stopped = root->indexesOfChildrenPassingTest([](xmlNodePtr node, bool* stop) {
    *stop = node->type == XML_ELEMENT_NODE;
    return true;
  });
  EXPECT_EQ(stopped, (std::set<size_t>{0, 1}));
  ASSERT_EQ(root->children().size(), 3u);
  EXPECT_EQ(root->objectAtIndexedSubscript(2)->tag(), "d");
}

TEST(ONOXMLDocumentTest, TextOnlyElementHasNoChildrenButItsText) {
  auto document = parse("<r><t>  some <![CDATA[text]]> &amp; more&#33; </t><e/></r>");
  auto t = document->rootElement()->firstChildWithTag("t");
  EXPECT_TRUE(t->children().empty());
  EXPECT_EQ(t->stringValue(), "  some text & more! ");
  EXPECT_FALSE(t->isBlank());
  EXPECT_TRUE(document->rootElement()->firstChildWithTag("e")->isBlank());
  EXPECT_EQ(document->rootElement()->stringValue(), "  some text & more! ");
}

TEST(ONOXMLDocumentTest, AttributesAreFoundByLocalName) {
  auto document =
      parse(R"(<r xmlns:s="urn:s" xmlns:t="urn:t"><e s:version="1" t:version="2" url="u" s:os="mac"/></r>)");
  auto e = document->rootElement()->firstChildWithTag("e");
  EXPECT_EQ(e->valueForAttribute("version"), "1");  // the first of the two
  EXPECT_EQ(e->objectForKeyedSubscript("url"), "u");
  EXPECT_EQ(e->valueForAttribute("os"), "mac");
  EXPECT_EQ(e->valueForAttribute("missing"), std::nullopt);
  EXPECT_EQ(e->valueForAttribute("version", "urn:t"), "2");
  EXPECT_EQ(e->valueForAttribute("url", "urn:t"), std::nullopt);
  EXPECT_EQ(e->attributes(), (std::map<std::string, std::string>{{"os", "mac"}, {"url", "u"}, {"version", "1"}}));
}

TEST(ONOXMLDocumentTest, ElementsKeepTheirDocumentAlive) {
  ONOXMLElementPtr title;
  {
    auto document = parse(kFeed);
    title = document->XPath("//item/title").nextObject();
  }
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->stringValue(), "Version 2.0");
  EXPECT_EQ(title->parent()->firstChildWithTag("enclosure")->valueForAttribute("length"), "1234");
  EXPECT_EQ(title->document()->rootElement()->tag(), "rss");
}

TEST(ONOXMLDocumentTest, ElementsAreEqualWhenTheyWrapTheSameNode) {
  auto document = parse(kFeed);
  auto a = document->firstChildWithXPath("//channel");
  auto b = document->rootElement()->firstChildWithTag("channel");
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(*a, *b);
  EXPECT_EQ(std::hash<ONOXMLElement>()(*a), std::hash<ONOXMLElement>()(*b));
  EXPECT_FALSE(*a == *document->rootElement());
  EXPECT_EQ(*a->document(), *b->document());
}

TEST(ONOXMLDocumentTest, XPathRegistersTheNamespacesInScope) {
  auto document = parse(kFeed);
  auto versions = document->XPath("//sparkle:version");
  EXPECT_EQ(versions.count(), 1u);
  EXPECT_EQ(versions.nextObject()->stringValue(), "200");
  EXPECT_EQ(versions.nextObject(), nullptr);
  EXPECT_EQ(document->XPath("//item").allObjects().size(), 2u);
  EXPECT_EQ(document->XPath("//nothing").count(), 0u);
  EXPECT_EQ(document->XPath("//[").count(), 0u);  // a bad expression finds nothing
  EXPECT_EQ(document->XPath(std::nullopt).nextObject(), nullptr);
  EXPECT_EQ(document->XPath("//item").objectAtIndex(2), nullptr);
}

TEST(ONOXMLDocumentTest, DefaultNamespaceNeedsADefinedPrefix) {
  auto document = parse(R"(<feed xmlns="http://www.w3.org/2005/Atom"><entry><title>T</title></entry></feed>)");
  EXPECT_EQ(document->XPath("//atom:entry").count(), 0u);
  EXPECT_EQ(document->XPath("//entry").count(), 0u);  // the elements are in the namespace
  EXPECT_EQ(document->defaultNamespaces(), std::nullopt);
  document->definePrefix("atom", "http://www.w3.org/2005/Atom");
  EXPECT_EQ(document->XPath("//atom:entry/atom:title").nextObject()->stringValue(), "T");
}

TEST(ONOXMLDocumentTest, NearerNamespaceDeclarationsWin) {
  auto document = parse(R"(<r xmlns:p="urn:outer"><p:a/><m xmlns:p="urn:inner"><p:a>inner</p:a></m></r>)");
  auto m = document->rootElement()->firstChildWithTag("m");
  EXPECT_EQ(m->firstChildWithXPath("p:a")->stringValue(), "inner");
  EXPECT_EQ(document->XPath("p:a").count(), 1u);  // from the root only the outer one is in scope
}

TEST(ONOXMLDocumentTest, EnumerationStopsWhenAsked) {
  auto document = parse("<r><i>0</i><i>1</i><i>2</i></r>");
  std::vector<std::string> seen;
  document->enumerateElementsWithXPath("//i", [&](const ONOXMLElementPtr& element, size_t index, bool* stop) {
    seen.push_back(*element->stringValue() + "@" + std::to_string(index));
    *stop = index == 1;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"0@0", "1@1"}));
}

TEST(ONOXMLDocumentTest, FunctionResultsHoldScalars) {
  auto document = parse(kFeed);
  auto count = document->functionResultByEvaluatingXPath("count(//item)");
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->numericValue(), 2);
  EXPECT_EQ(count->numberValue(), 2);
  auto title = document->functionResultByEvaluatingXPath("string(//item/title)");
  EXPECT_EQ(title->stringValue(), "Version 2.0");
  EXPECT_TRUE(document->functionResultByEvaluatingXPath("count(//item) > 1")->boolValue());
  EXPECT_EQ(document->functionResultByEvaluatingXPath("count(("), nullptr);
}

TEST(ONOXMLDocumentTest, DocumentFacts) {
  auto document = parse(kFeed);
  EXPECT_EQ(document->version(), "1.0");
  EXPECT_EQ(document->stringEncoding(), "UTF-8");
  EXPECT_EQ(parse("<r/>")->stringEncoding(), std::nullopt);
  auto enclosure = document->firstChildWithXPath("//enclosure");
  EXPECT_EQ(enclosure->lineNumber(), 8);
  EXPECT_EQ(enclosure->description(),
            R"(<enclosure url="https://example.test/App-2.0.zip" sparkle:version="200" length="1234"/>)");
}

TEST(ONOXMLDocumentTest, NumbersAndDates) {
  auto document = parse(
      "<r><n>1,234.5</n><n>-7</n><n>12abc</n><d>2020-03-04T05:06:07+0100</d><d>2020-03-04T05:06:07Z</d>"
      "<d>March 4</d></r>");
  auto n = document->rootElement()->childrenWithTag("n");
  EXPECT_EQ(n[0]->numberValue(), 1234.5);
  EXPECT_EQ(n[1]->numberValue(), -7);
  EXPECT_EQ(n[2]->numberValue(), std::nullopt);
  auto d = document->rootElement()->childrenWithTag("d");
  EXPECT_EQ(d[0]->dateValue(), std::optional<std::time_t>(1583294767));
  EXPECT_EQ(d[1]->dateValue(), std::optional<std::time_t>(1583298367));
  EXPECT_EQ(d[2]->dateValue(), std::nullopt);
}

TEST(ONOXMLDocumentTest, StringsAreConvertedToTheirEncodingFirst) {
  Error error;
  auto document = ONOXMLDocument::XMLDocumentWithString("<r>caf\xC3\xA9</r>", "UTF-16", &error);
  ASSERT_NE(document, nullptr) << error.description();
  EXPECT_EQ(document->rootElement()->stringValue(), "caf\xC3\xA9");
  EXPECT_EQ(ONOXMLDocument::XMLDocumentWithString("<r/>", "no-such-encoding", &error), nullptr);
  EXPECT_EQ(error.domain, "com.ono.error");
}

// Entities declared by a document are never expanded, nothing is read from disk, and
// libxml2's depth limit stays on.
TEST(ONOXMLDocumentTest, HostileDocumentsStayHarmless) {
  std::string laughs = R"(<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">)";
  for (int level = 1; level <= 9; ++level) {
    std::string previous = level == 1 ? "lol" : "lol" + std::to_string(level - 1);
    laughs += "<!ENTITY lol" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) laughs += "&" + previous + ";";
    laughs += "\">";
  }
  laughs += "]><lolz>&lol9;<a>&lol9;</a></lolz>";
  auto bomb = ONOXMLDocument::XMLDocumentWithData(laughs);
  ASSERT_NE(bomb, nullptr);
  EXPECT_LT(bomb->rootElement()->stringValue().value_or("").size(), 100u);
  EXPECT_LT(bomb->rootElement()->description().size(), 1000u);

  std::string quadratic = "<!DOCTYPE r [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><r>";
  for (int i = 0; i < 10000; ++i) quadratic += "&big;";
  auto blowup = ONOXMLDocument::XMLDocumentWithData(quadratic + "</r>");
  ASSERT_NE(blowup, nullptr);
  EXPECT_EQ(blowup->rootElement()->stringValue().value_or("?").size(), 0u);

  for (const char* external : {R"(<!DOCTYPE r [<!ENTITY x SYSTEM "file:///etc/passwd">]><r>a&x;b</r>)",
                               R"(<!DOCTYPE r [<!ENTITY % p SYSTEM "file:///etc/passwd"> %p;]><r>ab</r>)",
                               R"(<!DOCTYPE r SYSTEM "file:///etc/passwd"><r>ab</r>)",
                               R"(<!DOCTYPE r [<!ENTITY x SYSTEM "http://127.0.0.1:9/x">]><r a="&x;">a&x;b</r>)"}) {
    auto document = ONOXMLDocument::XMLDocumentWithData(external);
    ASSERT_NE(document, nullptr) << external;
    EXPECT_EQ(document->rootElement()->stringValue(), "ab") << external;
    EXPECT_EQ(document->rootElement()->description().find("root:"), std::string::npos);
  }

  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<d>";
  Error error;
  auto nested = ONOXMLDocument::XMLDocumentWithData(deep, &error);
  ASSERT_NE(nested, nullptr) << error.description();
  EXPECT_LE(nested->XPath("//d").count(), 300u);
  EXPECT_NE(ONOXMLDocument::HTMLDocumentWithData(deep), nullptr);
}

TEST(ONOXMLDocumentTest, HTMLDocumentsAndCSSQueries) {
  auto document = ONOXMLDocument::HTMLDocumentWithData(
      R"(<html><body><div id="main" class="note wide"><p>one <a href="/x">x</a></p><a name="n">y</a></div>
         <div class="noted"><a href="/z">z</a></div></body></html>)");
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(document->CSS("a").count(), 3u);
  EXPECT_EQ(document->CSS("div.note a[href]").count(), 1u);
  EXPECT_EQ(document->CSS("#main > a").nextObject()->stringValue(), "y");
  EXPECT_EQ(document->CSS("div > a").count(), 2u);
  EXPECT_EQ(document->CSS("a[name=n], a[href='/z']").count(), 2u);
  EXPECT_EQ(document->firstChildWithCSS("div.wide.note")->valueForAttribute("id"), "main");
  EXPECT_EQ(document->CSS("a:first-child").count(), 0u);          // unsupported: nothing
  EXPECT_EQ(document->firstChildWithCSS("html")->tag(), "html");  // the root itself can match
}

TEST(ONOXMLDocumentTest, CSSConversion) {
  struct {
    const char* css;
    std::optional<std::string> xpath;
  } cases[] = {
      {"item", "descendant-or-self::item"},
      {"#main", "descendant-or-self::*[@id='main']"},
      {"p.a-b", "descendant-or-self::p[contains(concat(' ', normalize-space(@class), ' '), ' a-b ')]"},
      {"a[href]", "descendant-or-self::a[@href]"},
      {"a[rel=\"it's\"]", "descendant-or-self::a[@rel=\"it's\"]"},
      {"ul > li a", "descendant-or-self::ul/li/descendant::a"},
      {"a, b", "descendant-or-self::a | descendant-or-self::b"},
      {"a + b", std::nullopt},
      {"> a", std::nullopt},
      {"a >", std::nullopt},
      {"", std::nullopt},
      {"a[href^=x]", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(XPathFromCSS(c.css), c.xpath) << c.css;
}

}  // namespace
}  // namespace vantor::sources
