// installHelperTool, run as root for the unprivileged user nobody (PKEXEC_UID), against a
// target folder that only root may write.

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Bundle.h"
#include "platform/ChildProcess.h"
#include "support/BundleFixture.h"
#include "support/TestSupport.h"

namespace vantor::install {
namespace {

using namespace vantor::testing;

// A download extracted into the user's private scratch folder, the empty stand-in
// App.app in a second one, and a root-owned target folder.
struct Road {
  TempFolder temp;
  std::string scratch = temp / "scratch";
  std::string found = scratch + "/Foo-1.0/Foo.app";
  std::string stand = temp / "stand";
  std::string fake = stand + "/App.app";
  std::string target = temp / "target";
  std::string final = target + "/Foo.app";
  std::vector<std::string> env{"PKEXEC_UID=" + std::to_string(kNobody)};

  Road() {
    makeSampleBundle(found);
    makeFolder(fake);
    chownTree(scratch, kNobody, kNoGroup);
    chownTree(stand, kNobody, kNoGroup);
    ::chmod(scratch.c_str(), 0700);
    ::chmod(stand.c_str(), 0700);
    makeFolder(target, 0755);
  }

  std::vector<std::string> arguments() const { return {fake, final, found}; }
};

platform::ProcessResult runTool(const std::vector<std::string>& arguments, const std::vector<std::string>& env) {
  std::vector<std::string> argv{test::binaryPath("installHelperTool")};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  platform::RunOptions options;
  options.timeoutSeconds = 60;
  options.mergeStderr = false;
  for (const auto& entry : env) {
    auto equals = entry.find('=');
    options.environment.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
  }
  return platform::runProcess(argv, options);
}

TEST(InstallHelperToolTest, InstallsForTheUserWithProgressTokens) {
  Road road;
  auto expected = snapshotTree(road.found).without("user.com.apple.quarantine").withoutRootTimes();
  auto result = runTool(road.arguments(), road.env);
  EXPECT_EQ(result.status, 0) << result.errorOutput;
  EXPECT_EQ(result.output, "<10>\n<20>\n<30>\n<40>\n<50>\n<60>\n<70>\n<80>\n<90>\n<100>\nSUCCESS\n");
  auto installed = snapshotTree(road.final);
  EXPECT_EQ(installed.withoutRootTimes(), expected) << expected.differencesFrom(installed.withoutRootTimes());
  EXPECT_EQ(lstatOf(road.final).st_uid, kNobody) << "the user's bundle stays the user's";
  EXPECT_FALSE(exists(road.found));
  EXPECT_EQ(entriesOf(road.stand), std::vector<std::string>{}) << "stand-in and temporary folders are gone";
  EXPECT_EQ(entriesOf(road.target), std::vector<std::string>{"Foo.app"});
}

TEST(InstallHelperToolTest, FinishesWhenNobodyReadsItsOutput) {
  Road road;
  platform::ProcessOptions options;
  options.environment.emplace_back("PKEXEC_UID", std::to_string(kNobody));
  std::string error;
  auto child = platform::ChildProcess::spawn({test::binaryPath("installHelperTool"), road.fake, road.final, road.found},
                                             options, &error);
  ASSERT_TRUE(child) << error;
  child->closeOutput();  // the helper went away before the first token
  ASSERT_TRUE(child->waitFor(60));
  EXPECT_TRUE(child->exited()) << "signal " << child->termSignal();
  EXPECT_EQ(child->exitStatus(), 0);
  EXPECT_TRUE(exists(road.final + "/Contents/MacOS/App"));
}

TEST(InstallHelperToolTest, IsTheMainBundlesResourceInTheBuildTree) {
  EXPECT_EQ(platform::Bundle::main().pathForResource("installHelperTool"), test::binaryPath("installHelperTool"));
  // Sources still come first for the resources kept there.
  EXPECT_EQ(platform::Bundle::main().pathForResource("convertCaskDownloadURL.rb"),
            test::sourceDir() + "/resources/convertCaskDownloadURL.rb");
}

TEST(InstallHelperToolTest, AuthorizeArgumentDoesNothing) {
  Road road;
  auto result = runTool({"--authorize"}, road.env);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
}

TEST(InstallHelperToolTest, RefusesWhatItMustNotTrust) {
  struct Case {
    const char* name;
    int code;
    std::function<void(Road&)> arrange;
  } cases[] = {
      {"relative path", 3, [](Road& r) { r.found = "scratch/Foo-1.0/Foo.app"; }},
      {"dot-dot component", 4, [](Road& r) { r.found = r.scratch + "/Foo-1.0/../Foo-1.0/Foo.app"; }},
      {"dot component", 4, [](Road& r) { r.final = r.target + "/./Foo.app"; }},
      {"final path exists", 5, [](Road& r) { makeFolder(r.final); }},
      {"dangling link at the final path", 5, [](Road& r) { makeLink("/nowhere/at/all", r.final); }},
      {"final parent missing", 6, [](Road& r) { r.final = r.target + "/missing/Foo.app"; }},
      {"final parent is a file", 6,
       [](Road& r) {
         writeFile(r.temp / "file", "x");
         r.final = r.temp / "file/Foo.app";
       }},
      {"found app not named *.app", 7,
       [](Road& r) {
         ::rename(r.found.c_str(), (r.scratch + "/Foo-1.0/Foo").c_str());
         r.found = r.scratch + "/Foo-1.0/Foo";
       }},
      {"found app is a file", 7,
       [](Road& r) {
         r.found = r.scratch + "/Foo-1.0/Bar.app";
         writeFile(r.found, "not a bundle");
         chownTree(r.found, kNobody, kNoGroup);
       }},
      {"final name not *.app", 7, [](Road& r) { r.final = r.target + "/cron.daily"; }},
      {"scratch folder not the invoker's", 8, [](Road& r) { chownTree(r.scratch, 0, 0); }},
      {"stand-in not the invoker's", 8, [](Road& r) { chownTree(r.stand, 0, 0); }},
      {"found app holds a root-owned item", 8,
       [](Road& r) { writeFile(r.found + "/Contents/Resources/planted", "root's"); }},
      {"found app path through a symbolic link", 9,
       [](Road& r) {
         makeLink("Foo-1.0", r.scratch + "/link");
         r.found = r.scratch + "/link/Foo.app";
       }},
      {"found app is a symbolic link", 9,
       [](Road& r) {
         makeLink("Foo.app", r.scratch + "/Foo-1.0/Other.app");
         ::lchown((r.scratch + "/Foo-1.0/Other.app").c_str(), kNobody, kNoGroup);
         r.found = r.scratch + "/Foo-1.0/Other.app";
       }},
      {"final parent through a symbolic link", 9,
       [](Road& r) {
         makeLink(r.target, r.temp / "target-link");
         r.final = r.temp / "target-link/Foo.app";
       }},
      {"too few arguments", 1, [](Road& r) { r.final.clear(); }},
      {"PKEXEC_UID not a number", 2, [](Road& r) { r.env = {"PKEXEC_UID=nobody"}; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Road road;
    c.arrange(road);
    auto foundBefore = snapshotTree(road.found);
    auto targetBefore = snapshotTree(road.target);
    auto arguments = road.final.empty() ? std::vector<std::string>{road.fake, road.found} : road.arguments();
    auto result = runTool(arguments, road.env);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "!" + std::to_string(c.code) + "?\n") << result.errorOutput;
    EXPECT_NE(result.errorOutput.find("refused"), std::string::npos);
    EXPECT_EQ(snapshotTree(road.target), targetBefore);
    EXPECT_EQ(snapshotTree(road.found), foundBefore);
  }
}

}  // namespace
}  // namespace vantor::install
