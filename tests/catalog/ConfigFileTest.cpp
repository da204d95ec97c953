#include <gtest/gtest.h>

#include <functional>

#include "CatalogTestSupport.h"
#include "catalog/ConfigFile.h"
#include "foundation/FileHelpers.h"

namespace vantor {
namespace {

const char* const kCatalogText = R"({
  "bundleIDMapping": {
    "com.example.App": {"cn": "example-app", "fe": "https://example.com/appcast.xml"},
    "com.example.Numbers": {"cn": 42, "iu": ["1.0"], "big": 18446744073709551615, "neg": -3, "f": 1.5},
    "com.example.NotARecord": "just text",
    "com.example.Dup": {"cn": "first"},
    "com.example.Dup": {"cn": "second"}
  },
  "ignoredBundleIDPrefixes": ["org.ignored.", ""],
  "ignoredBundleIDSuffixes": [".helper", 7],
  "ignoredBundleIDSubstrings": ["Nightly"],
  "ignoredBundleIDSubstringsCaseInsensitive": ["beta"],
  "somethingElse": {"kept": true}
})";

// The two ways a catalog comes to be: parsed from the decoded text (the helper's road)
// and handed in as a dictionary. They must answer alike.
struct Representation {
  const char* name;
  std::function<std::optional<ConfigFile>(const std::string&)> make;
};

const Representation kRepresentations[] = {
    {"Parsed", [](const std::string& text) { return ConfigFile::configFileWithJSONData(toBytes(text)); }},
    {"Dictionary", [](const std::string& text) { return std::optional<ConfigFile>(ConfigFile(Json::parse(text))); }},
};

void PrintTo(const Representation& representation, std::ostream* out) { *out << representation.name; }

class ConfigFileTest : public ::testing::TestWithParam<Representation> {
 protected:
  ConfigFile catalog() const {
    auto made = GetParam().make(kCatalogText);
    EXPECT_TRUE(made.has_value());
    return *made;
  }
};

TEST_P(ConfigFileTest, KnownRecordIsReturnedAsStored) {
  ConfigFile file = catalog();
  EXPECT_TRUE(file.hasBundleIDMapping());
  EXPECT_TRUE(file.hasEntryForBundleIdentifier("com.example.App"));
  EXPECT_EQ(file.entryForBundleIdentifier("com.example.App").dictionary(),
            (Json{{"cn", "example-app"}, {"fe", "https://example.com/appcast.xml"}}));
  // Numbers keep the types the system's JSON parser gives them.
  EXPECT_EQ(file.entryForBundleIdentifier("com.example.Numbers").dictionary().dump(),
            Json::parse(R"({"cn": 42, "iu": ["1.0"], "big": 18446744073709551615, "neg": -3, "f": 1.5})").dump());
  EXPECT_EQ(file.entryForBundleIdentifier("com.example.Dup").caskName(), Json("second"));
}

TEST_P(ConfigFileTest, UnknownOrDifferentlyCasedIdentifierGivesAnEmptyRecord) {
  ConfigFile file = catalog();
  for (const char* bundleIdentifier : {"com.example.Unknown", "com.example.app", "COM.EXAMPLE.APP", ""}) {
    EXPECT_FALSE(file.hasEntryForBundleIdentifier(bundleIdentifier)) << bundleIdentifier;
    EXPECT_EQ(file.entryForBundleIdentifier(bundleIdentifier).dictionary(), Json::object()) << bundleIdentifier;
  }
}

TEST_P(ConfigFileTest, RecordThatIsNotAnObjectAnswersNothing) {
  ConfigFile file = catalog();
  EXPECT_TRUE(file.hasEntryForBundleIdentifier("com.example.NotARecord"));
  ConfigFileEntry entry = file.entryForBundleIdentifier("com.example.NotARecord");
  EXPECT_EQ(entry.dictionary(), Json("just text"));
  EXPECT_FALSE(entry.caskName());
  EXPECT_FALSE(entry.hasValidFeedURL());
}

TEST_P(ConfigFileTest, IgnoredIndirectly) {
  ConfigFile file = catalog();
  const std::pair<const char*, bool> kCases[] = {
      {"org.ignored.Tool", true},          // prefix
      {"org.ignoredTool", false},
      {"com.example.helper", true},        // suffix
      {"com.example.App", false},          // the empty prefix and the number match nothing
      {"com.example.NightlyBuild", true},  // substring
      {"com.example.nightlybuild", false},
      {"com.example.BetaApp", true},       // substring without regard to case
      {"com.example.BETA", true},
  };
  for (const auto& [bundleIdentifier, ignored] : kCases)
    EXPECT_EQ(file.isBundleIdentifierIgnoredIndirectly(bundleIdentifier), ignored) << bundleIdentifier;
}

TEST_P(ConfigFileTest, DictionaryIsTheWholeTopLevel) {
  ConfigFile file = catalog();
  ASSERT_TRUE(file.dictionary().has_value());
  EXPECT_EQ(*file.dictionary(), Json::parse(kCatalogText));
}

INSTANTIATE_TEST_SUITE_P(Both, ConfigFileTest, ::testing::ValuesIn(kRepresentations),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigFileListsTest, CaseSensitiveSubstringListDoesNotIgnoreOtherCase) {
  auto file = ConfigFile::configFileWithJSONData(
      toBytes(R"({"bundleIDMapping":{},"ignoredBundleIDSubstrings":["beta"]})"));
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->isBundleIdentifierIgnoredIndirectly("com.example.BetaApp"));
  EXPECT_TRUE(file->isBundleIdentifierIgnoredIndirectly("com.example.betaApp"));
}

TEST(ConfigFileListsTest, MissingOrMistypedListsNeverMatch) {
  for (const char* text : {R"({"bundleIDMapping":{}})", R"({"bundleIDMapping":{},"ignoredBundleIDPrefixes":"com."})"}) {
    auto file = ConfigFile::configFileWithJSONData(toBytes(text));
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->isBundleIdentifierIgnoredIndirectly("com.example.App")) << text;
  }
}

TEST(ConfigFileParsingTest, TextThatIsNotAJSONObjectGivesNothing) {
  for (const char* text : {"", "[1,2]", "\"text\"", "{\"bundleIDMapping\":", "not json", "{} trailing"})
    EXPECT_FALSE(ConfigFile::configFileWithJSONData(toBytes(text))) << text;
}

TEST(ConfigFileParsingTest, TypicalCatalogIsReadInPlace) {
  auto file = ConfigFile::configFileWithJSONData(toBytes(kCatalogText));
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->readsTextInPlace());
  EXPECT_FALSE(ConfigFile(Json::object()).readsTextInPlace());
}

// The text is kept and records are cut out of it: layout must not matter.
TEST(ConfigFileParsingTest, RecordsAreCutOutExactly) {
  const char* text = "\n {\"x\" : [1, {\"bundleIDMapping\": 0}],\n \"bundleIDMapping\" :\t{\n"
                     "  \"a\" : { \"cn\" : \"}\\\"{\" , \"iu\": [ [ ], { } ] } ,\r\n"
                     "  \"b\":\"text\"  ,\"c\":[1,2] ,\"d\":-1.5e3,\"e\":null,\"f\":true,"
                     "  \"k\\u00e9y\\n\":{\"cn\":\"\\ud83d\\ude00\"}\n }\n}\n ";
  auto file = ConfigFile::configFileWithJSONData(toBytes(text));
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->readsTextInPlace());
  Json expected = Json::parse(text)["bundleIDMapping"];
  ASSERT_EQ(expected.size(), 7u);
  for (const auto& [key, value] : expected.items()) {
    EXPECT_TRUE(file->hasEntryForBundleIdentifier(key)) << key;
    if (value.is_object()) {
      EXPECT_EQ(file->entryForBundleIdentifier(key).dictionary(), value) << key;
    }
  }
  EXPECT_EQ(*file->dictionary(), Json::parse(text));
}

// Whatever the system's parser refuses is refused, however close to JSON it looks.
TEST(ConfigFileParsingTest, RefusesWhatTheSystemParserRefuses) {
  const char* const kTexts[] = {
      R"({"bundleIDMapping":{"a":{"cn":"x"}}} x)",
      R"({"bundleIDMapping":{"a":{"cn" "x"}}})",
      R"({"bundleIDMapping":{"a":{"cn":"x" "fe":"y"}}})",
      R"({"bundleIDMapping":{"a":{"cn":"x",}}})",
      R"({"bundleIDMapping":{"a":[1,2,]}})",
      R"({"bundleIDMapping":{"a":{"cn":"\q"}}})",
      R"({"bundleIDMapping":{"a":{"cn":"\u12G4"}}})",
      R"({"bundleIDMapping":{"a":{"cn":"\ud800"}}})",
      R"({"bundleIDMapping":{"a":{"cn":"\udc00\ud800"}}})",
      "{\"bundleIDMapping\":{\"a\":{\"cn\":\"tab\there\"}}}",
      R"({"bundleIDMapping":{"a\x":{}}})",
      R"({"bundleIDMapping":{"a":{"n":01}}})",
      R"({"bundleIDMapping":{"a":{"n":1.}}})",
      R"({"bundleIDMapping":{"a":{"n":-}}})",
      R"({"bundleIDMapping":{"a":{"f":tru}}})",
      R"({"bundleIDMapping":{"a":{"f":nul}}})",
      R"({"bundleIDMapping":{"a":{"f":True}}})",
      R"({"bundleIDMapping":{"a":{"cn":'x'}}})",
      R"({"bundleIDMapping":{"a":{"cn":"x"}})",
      R"({"bundleIDMapping":{"a":{"cn":"x"}}}})",
      R"({"bundleIDMapping":{"a":{"cn":"x}}})",
      R"({bundleIDMapping:{}})",
      R"({"a":1,"bundleIDMapping":{"a":{}},})",
      "{\"bundleIDMapping\":{\"a\":{\"cn\":\"\xff\"}}}",
      R"({"bundleIDMapping":{"a":{}}}{})",
  };
  for (const char* text : kTexts) {
    ASSERT_FALSE(Json::accept(text)) << text;  // the table itself is right
    EXPECT_FALSE(ConfigFile::configFileWithJSONData(toBytes(text))) << text;
  }
}

TEST(ConfigFileParsingTest, NumbersBeyondSixtyFourBitsStillLoad) {
  auto file = ConfigFile::configFileWithJSONData(
      toBytes(R"({"bundleIDMapping":{"a":{"mp":123456789012345678901234567890}}})"));
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->entryForBundleIdentifier("a").minimumUserPercentageForValidUpdate()->is_number_float());
}

TEST(ConfigFileParsingTest, CatalogWithoutMappingIsKnownAsSuch) {
  for (const char* text : {R"({})", R"({"bundleIDMapping":[]})", R"({"bundleIDMapping":"x"})"}) {
    auto file = ConfigFile::configFileWithJSONData(toBytes(text));
    ASSERT_TRUE(file) << text;
    EXPECT_FALSE(file->hasBundleIDMapping()) << text;
    EXPECT_FALSE(file->hasEntryForBundleIdentifier("a")) << text;
  }
  EXPECT_FALSE(ConfigFile(std::nullopt).hasBundleIDMapping());
  EXPECT_FALSE(ConfigFile(Json::array()).hasBundleIDMapping());
}

TEST(ConfigFileDeathTest, LookupWithoutMappingIsAProgrammingError) {
  ConfigFile file(Json::object());
  EXPECT_DEATH((void)file.entryForBundleIdentifier("com.example.App"), "hasMapping");
}

TEST(ConfigFileHomepageTest, ValueUnderTheIdentifierOrNothing) {
  auto folder = makeTempDirectory();
  ASSERT_TRUE(folder);
  std::string path = *folder + "/homepages.json";
  EXPECT_FALSE(ConfigFile::homepageForBundleIdentifier("com.example.App", path));  // no file

  ASSERT_TRUE(writeContentsAtomically(path, R"({"com.example.App":"https://example.com","n":3})"));
  EXPECT_EQ(ConfigFile::homepageForBundleIdentifier("com.example.App", path), Json("https://example.com"));
  EXPECT_EQ(ConfigFile::homepageForBundleIdentifier("n", path), Json(3));
  EXPECT_FALSE(ConfigFile::homepageForBundleIdentifier("com.example.Other", path));

  // Read anew on every call.
  ASSERT_TRUE(writeContentsAtomically(path, R"(["com.example.App"])"));
  EXPECT_FALSE(ConfigFile::homepageForBundleIdentifier("com.example.App", path));
  removeItem(*folder);
}

TEST(ConfigFileLoadingTest, SignedCatalogDecodesAndAnswersLookups) {
  Bytes file = testing::signedCatalog(kCatalogText);
  Error error;
  auto text = ConfigFile::uncompressConfigFile(&file, &error);
  ASSERT_TRUE(text) << error.description();
  auto catalog = ConfigFile::configFileWithJSONData(std::move(*text));
  ASSERT_TRUE(catalog);
  EXPECT_EQ(catalog->entryForBundleIdentifier("com.example.App").caskName(), Json("example-app"));
}

}  // namespace
}  // namespace vantor
