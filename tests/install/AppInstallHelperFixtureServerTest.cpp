// A confirmed identifier installs a real bundle from a zip, a tar and a UDIF image served
// by the fixture server, through the cask and through the feed, as the user and through
// the privileged road with the real tool.

#include <sys/stat.h>
#include <unistd.h>

#include <ostream>

#include "PipelineFixture.h"
#include "install/PrivilegedToolRun.h"
#include "support/FixtureServerProcess.h"

namespace vantor::test {
namespace {

struct FixtureCase {
  const char* name;
  const char* archive;  // zip, tgz or dmg
  bool viaFeed;
  bool privileged;
};

void PrintTo(const FixtureCase& c, std::ostream* out) { *out << c.name; }

const FixtureCase kFixtureCases[] = {
    {"ZipFromCaskAsUser", "zip", false, false},
    {"TarFromFeedAsUser", "tgz", true, false},
    {"UdifFromCaskAsUser", "dmg", false, false},
    {"ZipFromFeedThroughTool", "zip", true, true},
    {"UdifFromCaskThroughTool", "dmg", false, true},
};

class AppInstallHelperFixtureServerTest : public ::testing::TestWithParam<FixtureCase> {};

std::string archiveName(const std::string& kind) {
  return kind == "zip" ? "Foo-2.0.zip" : kind == "tgz" ? "Foo-2.0.tar.gz" : "Foo-2.0.dmg";
}

TEST_P(AppInstallHelperFixtureServerTest, InstallsTheBundle) {
  const FixtureCase& c = GetParam();
  if (c.privileged && ::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  std::string tool = binaryPath("installHelperTool");
  if (c.privileged && !std::filesystem::exists(tool)) GTEST_SKIP() << "installHelperTool is not built";

  TempFolder stage;
  writeApp(stage.path(), "Foo.app", kBundleID);
  std::string bytes;
  if (std::string(c.archive) == "dmg") {
    auto image = udifOf(stage.path());
    if (!image) GTEST_SKIP() << "no ISO maker";
    bytes = *image;
  } else {
    bytes = archiveOf(stage.path(), c.archive);
  }

  TempFolder root;
  ::chmod(root.path().c_str(), 0755);
  writeFile(root / ("downloads/" + archiveName(c.archive)), bytes);
  FixtureServerProcess server(root.path());
  std::string downloadURL = server.httpsURL("/downloads/" + archiveName(c.archive));
  writeFile(root / "caskroom/homebrew-cask/master/Casks/foo.rb",
            "cask 'foo' do\n  version '2.0'\n  sha256 :no_check\n\n  url '" + downloadURL +
                "'\n  name 'Foo'\n  homepage 'https://example.com/'\n\n  app 'Foo.app'\nend\n");
  writeFile(root / "feeds/foo.xml",
            R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><title>Foo</title>
<item><title>2.0</title><enclosure url=")" + downloadURL + R"(" sparkle:version="200"/></item></channel></rss>
)");
  Json entry = {{"cn", "foo"}};
  if (c.viaFeed) entry["fe"] = server.httpsURL("/feeds/foo.xml");
  ConfigFile configFile(Json{{"bundleIDMapping", {{kBundleID, entry}}}});

  std::vector<std::unique_ptr<ScopedEnvironmentVariable>> environment;
  for (const auto& [name, value] : server.hostEnvironment())
    environment.push_back(std::make_unique<ScopedEnvironmentVariable>(name, value));
  TempFolder scratch;
  ::chmod(scratch.path().c_str(), 01777);
  environment.push_back(std::make_unique<ScopedEnvironmentVariable>("TMPDIR", scratch.path()));
  std::string target = scratch / "Applications";
  std::filesystem::create_directories(target);

  std::unique_ptr<ScopedPrivilegeRunner> runner;
  if (c.privileged) {
    // The run acts as nobody: the root-owned target needs the tool, which runs as root.
    ::chmod(target.c_str(), 0755);
    ::chmod(std::filesystem::path(server.caFile()).parent_path().c_str(), 0755);
    auto fake = std::make_unique<RootToolRunner>();
    fake->invokingUid = kNobody;
    runner = std::make_unique<ScopedPrivilegeRunner>(std::move(fake));
    PrivilegedToolRun::setToolPathForTesting(tool);
  }

  std::optional<Error> error;
  std::optional<std::string> finalPath;
  std::thread run([&] {
    if (c.privileged) {
      EXPECT_EQ(::seteuid(kNobody), 0);
    }
    error = AppInstallHelper::installApp(kBundleID, configFile, target, &finalPath);
    if (c.privileged) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  });
  run.join();
  PrivilegedToolRun::setToolPathForTesting(std::nullopt);

  EXPECT_FALSE(error) << error->description();
  EXPECT_EQ(finalPath, target + "/Foo.app");
  EXPECT_TRUE(std::filesystem::is_regular_file(target + "/Foo.app/Contents/MacOS/Foo"));
  EXPECT_EQ(server.requests("/caskroom/homebrew-cask/master/Casks/foo.rb").size(), c.viaFeed ? 0U : 1U);
  EXPECT_EQ(server.requests("/downloads/" + archiveName(c.archive)).size(), 1U);
  EXPECT_EQ(server.stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(FixtureServer, AppInstallHelperFixtureServerTest, ::testing::ValuesIn(kFixtureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantor::test
