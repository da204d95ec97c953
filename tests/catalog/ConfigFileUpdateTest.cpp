// The scan engine's catalog: loading the support folder's file, and the update from a
// loopback product server serving catalogs signed with the demo key.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "CatalogTestSupport.h"
#include "catalog/ConfigFile.h"
#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/StringHelpers.h"
#include "foundation/TesselLib.h"
#include "platform/RunLoop.h"
#include "sources/CGIInfoHelper.h"
#include "sources/ProductServer.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TrustedCertificateAuthority.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;
using testing::signedCatalog;
using testing::view;

struct Event {
  long code;
  Json info;
};

std::string catalogWithEntries(int count) {
  Json mapping = Json::object();
  for (int i = 0; i < count; ++i) mapping["com.example.app" + std::to_string(i)] = Json{{"cn", "app" + std::to_string(i)}};
  return Json{{"bundleIDMapping", mapping}}.dump();
}

Bytes toBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

class EngineCatalogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("VANTOR_UI", "script", 1);
    test::isolateHome();
    if (cc == nullptr) TesselLib::create();
  }

  void SetUp() override {
    path_ = ConfigFile::configLocalFilePath().value();
    createDirectories(stringByDeletingLastPathComponent(path_));
    removeItem(path_);
    CGIInfoHelper::setErrorEventObserverForTesting([this](long code, const std::optional<Json>& info) {
      events_.push_back({code, info.value_or(Json())});
    });
  }
  void TearDown() override { CGIInfoHelper::setErrorEventObserverForTesting(nullptr); }

  std::string path_;
  std::vector<Event> events_;
};

TEST_F(EngineCatalogTest, LoadsTheSupportFoldersCatalog) {
  ASSERT_TRUE(writeContentsAtomically(path_, view(signedCatalog(catalogWithEntries(3)))));
  ConfigFile catalog;
  ASSERT_TRUE(catalog.dictionary().has_value());
  EXPECT_EQ(catalog.entryForBundleIdentifier("com.example.app2").caskName(), Json("app2"));
  EXPECT_TRUE(fileExists(path_));
  EXPECT_TRUE(events_.empty());
}

TEST_F(EngineCatalogTest, UnusableCatalogIsDeletedWithEvent200) {
  Bytes good = signedCatalog(catalogWithEntries(3));
  Bytes longer = good;
  longer.push_back(0);
  struct Case {
    const char* label;
    std::optional<Bytes> file;  // nothing: no file, and the bundle has none to copy
    bool event;
    const char* uncompressError;
  } cases[] = {
      {"no file", std::nullopt, true, "Code=1 "},
      {"foreign signature", signedCatalog(catalogWithEntries(3), testing::otherPrivateKey()), true, "Code=9 "},
      {"empty object", signedCatalog("{}"), true, "(null)"},
      {"not an object", signedCatalog("[1, 2]"), true, "(null)"},
      {"length mismatch", longer, false, ""},
  };
  for (const Case& c : cases) {
    events_.clear();
    removeItem(path_);
    if (c.file) {
      ASSERT_TRUE(writeContentsAtomically(path_, view(*c.file)));
    }
    ConfigFile catalog;
    EXPECT_FALSE(catalog.dictionary().has_value()) << c.label;
    EXPECT_FALSE(fileExists(path_)) << c.label;
    if (!c.event) {
      EXPECT_TRUE(events_.empty()) << c.label;
      continue;
    }
    ASSERT_EQ(events_.size(), 1u) << c.label;
    const Json& info = events_[0].info;
    EXPECT_EQ(events_[0].code, 200);
    EXPECT_EQ(info.size(), 6u);
    EXPECT_TRUE(contains(describe(info["uncompressError.description"]), c.uncompressError)) << c.label;
    EXPECT_EQ(info["@(didJustCopyIt)"], Json(c.file ? false : true)) << c.label;
    EXPECT_EQ(info["copyError.description"] == "(null)", c.file.has_value()) << c.label;
    EXPECT_TRUE(contains(describe(info["suppDirAttributes.description"]), "NSFilePosixPermissions")) << c.label;
  }
}

// The update, with the product server on loopback HTTPS.
class CatalogUpdateTest : public EngineCatalogTest {
 protected:
  static void SetUpTestSuite() {
    EngineCatalogTest::SetUpTestSuite();
    trusted = new test::TrustedCertificateAuthority("Loopback " + rot13(build::kServerIssuerWord).value() + " CA");
  }
  static void TearDownTestSuite() { delete trusted; }

  void SetUp() override {
    EngineCatalogTest::SetUp();
    server_ = LoopbackServer::startHTTPS(trusted->issueServerIdentity());
    host_ = std::make_unique<test::ScopedEnvironmentVariable>("VANTOR_PRODUCT_SERVER",
                                                              "localhost:" + std::to_string(server_->port()));
  }

  void serve(const Bytes& file) {
    server_->on(ProductServer::kConfigFilePath, ScriptedResponse::text(200, std::string(view(file))));
  }

  // Runs the update to its callback; true when it was the completion.
  bool runUpdate() {
    bool completed = false;
    ConfigFile::updateConfigFileWithCompletion(
        [&] {
          completed = true;
          platform::stopMainLoop(0);
        },
        [&] { platform::stopMainLoop(0); });
    platform::runMainLoop();
    return completed;
  }

  static inline test::TrustedCertificateAuthority* trusted;
  std::unique_ptr<LoopbackServer> server_;
  std::unique_ptr<test::ScopedEnvironmentVariable> host_;
};

TEST_F(CatalogUpdateTest, MoreThan500EntriesReplaceTheFile) {
  Bytes file = signedCatalog(catalogWithEntries(501));
  serve(file);
  cc->userDefaults().removeObject("LastConfigFileUpdate");
  EXPECT_TRUE(runUpdate());
  EXPECT_EQ(contents(path_), file);
  EXPECT_TRUE(cc->userDefaults().objectForKey("LastConfigFileUpdate").has_value());
  EXPECT_TRUE(events_.empty());
}

TEST_F(CatalogUpdateTest, At500EntriesTheFileStaysWithEvent121) {
  Bytes old = signedCatalog(catalogWithEntries(3));
  ASSERT_TRUE(writeContentsAtomically(path_, view(old)));
  serve(signedCatalog(catalogWithEntries(500)));
  cc->userDefaults().removeObject("LastConfigFileUpdate");
  EXPECT_FALSE(runUpdate());
  EXPECT_EQ(contents(path_), old);
  EXPECT_FALSE(cc->userDefaults().objectForKey("LastConfigFileUpdate").has_value());
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 121);
  EXPECT_EQ(events_[0].info["@(mapping.count)"], 500);
  EXPECT_EQ(events_[0].info["@(dict.count)"], 1);
  EXPECT_EQ(events_[0].info["uncompressError.description"], "(null)");
  EXPECT_EQ(events_[0].info["fullConfigFile"], "");
}

TEST_F(CatalogUpdateTest, UndecodableFileIsNotStored) {
  Bytes foreign = signedCatalog(catalogWithEntries(501), testing::otherPrivateKey());
  Bytes html = toBytes("<html>" + std::string(600, ' ') + "</html>");
  struct Case {
    const char* label;
    Bytes file;
    const char* code;
    std::string fullConfigFile;
  } cases[] = {
      {"foreign signature", foreign, "Code=9 ", ""},
      {"not a catalog", html, "Code=3 ", base64String(html)},
  };
  for (const Case& c : cases) {
    events_.clear();
    removeItem(path_);
    serve(c.file);
    EXPECT_FALSE(runUpdate()) << c.label;
    EXPECT_FALSE(fileExists(path_)) << c.label;
    ASSERT_EQ(events_.size(), 1u) << c.label;
    EXPECT_EQ(events_[0].code, 121);
    EXPECT_TRUE(contains(describe(events_[0].info["uncompressError.description"]), c.code)) << c.label;
    EXPECT_EQ(events_[0].info["@(configData.length)"], c.file.size()) << c.label;
    EXPECT_EQ(events_[0].info["fullConfigFile"], c.fullConfigFile) << c.label;
  }
}

// A file that cannot be written ends the application after the alert for its cause. The
// update runs in a child process (the whole test again, so it has its own home and
// server); the child leaves its events and its alert transcript in a folder that the
// parent names through the environment.
TEST_F(CatalogUpdateTest, WriteFailureEndsWithTheAlertForItsCause) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* inherited = std::getenv("VANTOR_TEST_SHARED_DIR");
  std::optional<test::TempFolder> ownFolder;
  if (inherited == nullptr) ownFolder.emplace();
  std::string shared = inherited != nullptr ? inherited : ownFolder->path();
  test::ScopedEnvironmentVariable share("VANTOR_TEST_SHARED_DIR", shared);
  // The child ends without cleaning up; its temporary folders go with the parent's.
  test::ScopedEnvironmentVariable tmp("TMPDIR", shared);
  struct Case {
    const char* label;
    std::function<void(const std::string& path)> breakIt;
    const char* message;
    std::string events;
  } cases[] = {
      {"support folder deleted", [](const std::string& path) { removeItem(stringByDeletingLastPathComponent(path)); },
       "seems to have been deleted", ""},
      {"folder in the way", [](const std::string& path) { createDirectories(path + "/inside"); },
       "because of an unknown error", "201\n"},
  };
  serve(signedCatalog(catalogWithEntries(501)));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    std::string transcript = shared + "/transcript-" + std::to_string(i) + ".jsonl";
    std::string eventsFile = shared + "/events-" + std::to_string(i) + ".txt";
    test::ScopedEnvironmentVariable ui("VANTOR_UI_TRANSCRIPT", transcript);
    EXPECT_EXIT(
        {
          CGIInfoHelper::setErrorEventObserverForTesting([eventsFile](long code, const std::optional<Json>&) {
            std::string seen = contentsAsString(eventsFile).value_or("");
            writeContentsAtomically(eventsFile, seen + std::to_string(code) + "\n");
          });
          c.breakIt(path_);
          runUpdate();
          std::exit(0);
        },
        ::testing::ExitedWithCode(1), "")
        << c.label;
    EXPECT_EQ(contentsAsString(eventsFile).value_or(""), c.events) << c.label;
    auto lines = test::readJsonLines(transcript);
    ASSERT_EQ(lines.size(), 1u) << c.label;
    EXPECT_EQ(lines[0]["title"], cc->appName().value());
    EXPECT_TRUE(contains(lines[0]["message"].get<std::string>(), c.message)) << lines[0].dump();
    EXPECT_EQ(lines[0]["buttons"], Json({"OK"}));
  }
}

}  // namespace
}  // namespace vantor
