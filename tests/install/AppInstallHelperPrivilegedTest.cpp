// The privileged road: the run acts as an unprivileged user (effective uid "nobody")
// against a root-owned target folder, so the permission probe asks for the tool; the test
// runner grants or refuses the right and starts the tool as root.

#include <sys/stat.h>
#include <unistd.h>

#include <ostream>

#include "PipelineFixture.h"
#include "foundation/StringHelpers.h"
#include "install/PrivilegedToolRun.h"

namespace vantor::test {
namespace {

class AppInstallHelperPrivilegedTest : public PipelineTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    PipelineTest::SetUp();
    // The run, as nobody, must reach the trust file and its own scratch folders.
    ::chmod(folder_->path().c_str(), 0755);
    ::chmod(target().c_str(), 0755);
    auto runner = std::make_unique<RootToolRunner>();
    runner->invokingUid = kNobody;
    runner_ = runner.get();
    scopedRunner_ = std::make_unique<ScopedPrivilegeRunner>(std::move(runner));
    serve("/Foo.zip", zipOfFoo());
  }
  void TearDown() override {
    if (::geteuid() != 0) return;
    PrivilegedToolRun::setToolPathForTesting(std::nullopt);
    scopedRunner_.reset();
    PipelineTest::TearDown();
  }

  static std::string zipOfFoo() {
    TempFolder stage;
    writeApp(stage.path(), "Foo.app", kBundleID);
    return archiveOf(stage.path(), "zip");
  }

  // A stand-in tool: a script run with the tool's three arguments.
  void useToolScript(const std::string& body) {
    std::string path = *scratchRoot_ / "tool.sh";
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    PrivilegedToolRun::setToolPathForTesting(path);
  }

  // One feed attempt as nobody.
  Outcome installAsNobody() {
    Outcome outcome;
    ConfigFile configFile = catalog(Json::object());
    std::string downloadURL = url("/Foo.zip");
    std::thread run([&] {
      EXPECT_EQ(::seteuid(kNobody), 0);
      outcome.error = AppInstallHelper::installApp(kBundleID, configFile, downloadURL, true, target(), &outcome.finalPath);
      EXPECT_EQ(::seteuid(0), 0);
    });
    run.join();
    return outcome;
  }

  RootToolRunner* runner_ = nullptr;
  std::unique_ptr<ScopedPrivilegeRunner> scopedRunner_;
};

TEST_F(AppInstallHelperPrivilegedTest, ToolThatMovesTheAppSucceeds) {
  useToolScript("printf '<10>'; sleep 0.1; mv \"$3\" \"$2\" && printf '<100>SUCCESS'");

  Outcome outcome = installAsNobody();

  EXPECT_FALSE(outcome.error) << outcome.error->description();
  EXPECT_TRUE(std::filesystem::is_directory(target() + "/Foo.app/Contents"));
  ASSERT_EQ(runner_->executions().size(), 1U);
  auto argv = runner_->executions()[0];
  ASSERT_EQ(argv.size(), 4U);
  EXPECT_TRUE(hasSuffix(argv[1], "/App.app"));
  EXPECT_EQ(argv[2], target() + "/Foo.app");
  EXPECT_TRUE(hasSuffix(argv[3], "/Foo.app"));
  EXPECT_TRUE(posted("Installing app update 10%…"));
  EXPECT_TRUE(posted("Installing app update 100SUCCESS%…")) << "the text after the last '<', '>' removed";
  EXPECT_EQ(progressMessages().back(), "Finished!");
  EXPECT_TRUE(leftScratchFolders().empty());
  EXPECT_TRUE(events().empty());
}

TEST_F(AppInstallHelperPrivilegedTest, RealToolInstallsWhenBuilt) {
  std::string tool = binaryPath("installHelperTool");
  if (!std::filesystem::exists(tool)) GTEST_SKIP() << "installHelperTool is not built";
  PrivilegedToolRun::setToolPathForTesting(tool);

  Outcome outcome = installAsNobody();

  EXPECT_FALSE(outcome.error) << outcome.error->description();
  EXPECT_TRUE(std::filesystem::is_directory(target() + "/Foo.app/Contents/MacOS"));
  EXPECT_TRUE(leftScratchFolders().empty());
}

struct RefusalCase {
  const char* name;
  platform::OSStatus rightStatus;
  platform::OSStatus executeStatus;
  const char* tool;  // the stand-in tool's script
  long code;
  std::vector<long> events;
  long toolErrorCode;
};

class AppInstallHelperRefusalTest : public AppInstallHelperPrivilegedTest,
                                    public ::testing::WithParamInterface<RefusalCase> {};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

const RefusalCase kRefusals[] = {
    {"ToolReportsItsCode", 0, 0, "printf '<10>'; printf '!7?'; exit 1", 23, {23}, 7},
    {"ToolFailsWithoutCode", 0, 0, "printf '<10>failed'", 23, {23}, 0},
    {"UserCancels", platform::errAuthorizationCanceled, 0, "exit 0", 32, {}, 0},
    {"UserIsDenied", platform::errAuthorizationDenied, 0, "exit 0", 33, {}, 0},
    {"RightCheckFailsInternally", platform::errAuthorizationInternal, 0, "exit 0", 21, {}, 0},
    {"RightCheckFails", platform::errAuthorizationInteractionNotAllowed, 0, "exit 0", 21, {21}, 0},
    {"ToolDoesNotStart", 0, platform::errAuthorizationToolExecuteFailure, "exit 0", 22, {22}, 0},
};

TEST_P(AppInstallHelperRefusalTest, EndsWithItsCodeAndLeavesTheTargetAlone) {
  const RefusalCase& c = GetParam();
  runner_->rightStatus = c.rightStatus;
  runner_->executeStatus = c.executeStatus;
  useToolScript(c.tool);

  Outcome outcome = installAsNobody();

  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, c.code);
  EXPECT_EQ(eventCodes(), c.events);
  EXPECT_EQ(outcome.finalPath, target() + "/Foo.app");
  EXPECT_TRUE(targetEntries().empty());
  EXPECT_TRUE(leftScratchFolders().empty());
  const Json& info = outcome.error->userInfo;
  if (c.code == 23) {
    EXPECT_EQ(info["@(errorCode)"], c.toolErrorCode);
    EXPECT_TRUE(info["downloadedFileData"].is_binary());
    EXPECT_EQ(events()[0].info["@(errorCode)"], c.toolErrorCode);
  } else if (c.code == 32 || c.code == 33) {
    EXPECT_TRUE(info.empty());
  } else {
    EXPECT_EQ(info["@(status)"], c.code == 22 ? c.executeStatus : c.rightStatus);
  }
}

INSTANTIATE_TEST_SUITE_P(Privileged, AppInstallHelperRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrivilegedToolRunTest, ReadsProgressAndErrorCodeFromTheOutput) {
  struct Case {
    const char* output;
    const char* progress;
    long errorCode;
  };
  const Case cases[] = {
      {"<10><20><30>", "30", 0},
      {"<10><2", "2", 0},
      {"no tokens", "no tokens", 0},
      {"<90>!7?", "90!7?", 7},
      {"!12?<5>", "5", 12},
      {"! 42 ?", "! 42 ?", 42},
      {"!x?", "!x?", 0},
      {"7?", "7?", 0},
      {"?!-3", "?!-3", -3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrivilegedToolRun::progressText(c.output), c.progress) << c.output;
    EXPECT_EQ(PrivilegedToolRun::toolErrorCode(c.output), c.errorCode) << c.output;
  }
}

}  // namespace
}  // namespace vantor::test
