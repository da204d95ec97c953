#pragma once
// The install pipeline's test bench: a loopback HTTPS server standing in for the cask
// host, the feeds and the download servers; archives built from app bundles written at
// test time; a catalog in memory; and recorders for error events, progress postings and
// the workspace. Runs go on a thread of their own, as the pipeline refuses the main one.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalog/ConfigFile.h"
#include "foundation/Json.h"
#include "install/AppInstallHelper.h"
#include "install/InstallProgress.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/Workspace.h"
#include "sources/CGIInfoHelper.h"
#include "support/ArchiveFixtures.h"
#include "support/FakePrivilegeRunner.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/UdifImage.h"
#include "vantor/BuildSettings.h"

namespace vantor::test {

inline constexpr const char* kBundleID = "com.example.foo";

inline constexpr uid_t kNobody = 65534;

// The fake privilege runner, with the tool started under the real (root) identity while
// the run itself acts as nobody (effective uid only, so that it can come back).
class RootToolRunner : public FakePrivilegeRunner {
 public:
  platform::OSStatus execute(const std::string& pathToTool, const std::vector<std::string>& arguments,
                             std::unique_ptr<platform::ChildProcess>* child) override {
    uid_t acting = ::geteuid();
    EXPECT_EQ(::seteuid(0), 0);
    auto status = FakePrivilegeRunner::execute(pathToTool, arguments, child);
    EXPECT_EQ(::seteuid(acting), 0);
    return status;
  }
};

struct RecordedEvent {
  long code;
  Json info;
};

// An app bundle folder: <folder>/<name> with Contents/Info.plist and an executable.
inline void writeApp(const std::string& folder, const std::string& name, const std::string& identifier,
                     const std::optional<std::string>& minimumSystem = std::nullopt) {
  std::string contents = folder + "/" + name + "/Contents";
  Json plist = {{"CFBundleIdentifier", identifier},
                {"CFBundleExecutable", "Foo"},
                {"CFBundleShortVersionString", "2.0"},
                {"CFBundleVersion", "200"}};
  if (minimumSystem) plist["LSMinimumSystemVersion"] = *minimumSystem;
  writeFile(contents + "/Info.plist", *platform::xmlPropertyList(plist));
  writeFile(contents + "/MacOS/Foo", "#!/bin/sh\nexit 0\n");
  ::chmod((contents + "/MacOS/Foo").c_str(), 0755);
}

// The bytes of an archive of the folder's contents: "zip", "tgz" or "tar".
inline std::string archiveOf(const std::string& folder, const std::string& kind) {
  TempFolder out;
  std::string path = out / ("archive." + kind);
  std::vector<std::string> arguments = {"-c", "-f", path};
  if (kind == "zip") arguments.insert(arguments.end(), {"--format", "zip"});
  if (kind == "tgz") arguments.insert(arguments.end(), {"-z"});
  arguments.push_back(".");
  EXPECT_TRUE(runBsdtar(arguments, folder)) << "bsdtar could not pack " << folder;
  return readFile(path);
}

// A UDIF image (ISO 9660 inside) of the folder's contents; nothing without an ISO maker.
inline std::optional<std::string> udifOf(const std::string& folder) {
  auto iso = makeIsoImage(folder, "Foo");
  if (!iso) return std::nullopt;
  TempFolder out;
  if (!writeUdifImage(*iso, out / "image.dmg")) return std::nullopt;
  return readFile(out / "image.dmg");
}

class PipelineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder;
    authority_ = new TestCertificateAuthority("Loopback Download CA");
    trust_ = new ScopedEnvironmentVariable("VANTOR_CA_BUNDLE", authority_->writeCertificateFile(folder_->path()));
  }
  static void TearDownTestSuite() {
    delete trust_;
    delete authority_;
    delete folder_;
  }

  void SetUp() override {
    server_ = LoopbackServer::startHTTPS(authority_->issueServerIdentity());
    caskHost_ = std::make_unique<ScopedEnvironmentVariable>("VANTOR_CASK_HOST", "localhost:" + std::to_string(server_->port()));
    scratchRoot_ = std::make_unique<TempFolder>();
    ::chmod(scratchRoot_->path().c_str(), 01777);
    tmpdir_ = std::make_unique<ScopedEnvironmentVariable>("TMPDIR", scratchRoot_->path());
    system_ = std::make_unique<ScopedEnvironmentVariable>("VANTOR_SYSTEM_VERSION", "10.15.7");
    std::filesystem::create_directories(target());

    CGIInfoHelper::setErrorEventObserverForTesting([this](long code, const std::optional<Json>& info) {
      std::lock_guard<std::mutex> guard(mutex_);
      events_.push_back({code, info.value_or(Json())});
    });
    progressToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        InstallProgress::kNotificationName, [this](const Json& object) {
          std::lock_guard<std::mutex> guard(mutex_);
          progress_.push_back(object);
        });
    auto workspace = std::make_unique<platform::RecordingWorkspace>();
    workspace_ = workspace.get();
    previousWorkspace_ = platform::Workspace::setShared(std::move(workspace));
  }

  void TearDown() override {
    platform::Workspace::setShared(std::move(previousWorkspace_));
    platform::NotificationCenter::defaultCenter().removeObserver(progressToken_);
    CGIInfoHelper::setErrorEventObserverForTesting(nullptr);
    AppInstallHelper::setAbortAppInfosProvider(nullptr);
    EXPECT_TRUE(server_->unexpectedRequests().empty());
    server_.reset();
  }

  std::string target() const { return *scratchRoot_ / "Applications"; }
  std::string url(const std::string& path) const { return server_->url(path, "localhost"); }

  // Serves bytes at path.
  void serve(const std::string& path, std::string bytes) { server_->on(path, ScriptedResponse::text(200, std::move(bytes))); }

  static ConfigFile catalog(const Json& entry, const std::string& bundleIdentifier = kBundleID) {
    return ConfigFile(Json{{"bundleIDMapping", {{bundleIdentifier, entry}}}});
  }

  struct Outcome {
    std::optional<Error> error;
    std::optional<std::string> finalPath;
    long code() const { return error ? error->code : 0; }
  };

  // The two-attempt entry point, on a thread of its own.
  Outcome install(const ConfigFile& configFile, const std::string& bundleIdentifier = kBundleID) {
    Outcome outcome;
    std::thread run([&] {
      outcome.error = AppInstallHelper::installApp(bundleIdentifier, configFile, target(), &outcome.finalPath);
    });
    run.join();
    return outcome;
  }

  // One feed attempt for the download URL.
  Outcome installFrom(const std::string& downloadURL, const Json& entry = Json::object(),
                      const std::string& bundleIdentifier = kBundleID) {
    ConfigFile configFile = catalog(entry, bundleIdentifier);
    Outcome outcome;
    std::thread run([&] {
      outcome.error =
          AppInstallHelper::installApp(bundleIdentifier, configFile, downloadURL, true, target(), &outcome.finalPath);
    });
    run.join();
    return outcome;
  }

  std::vector<RecordedEvent> events() {
    std::lock_guard<std::mutex> guard(mutex_);
    return events_;
  }
  std::vector<long> eventCodes() {
    std::vector<long> codes;
    for (const auto& event : events()) codes.push_back(event.code);
    return codes;
  }
  std::vector<Json> progress() {
    std::lock_guard<std::mutex> guard(mutex_);
    return progress_;
  }
  std::vector<std::string> progressMessages() {
    std::vector<std::string> messages;
    for (const auto& object : progress())
      if (object.contains("message")) messages.push_back(object["message"].get<std::string>());
    return messages;
  }
  bool posted(const std::string& message) {
    for (const auto& text : progressMessages())
      if (text == message) return true;
    return false;
  }
  std::vector<Json> workspaceEvents() const { return workspace_->events(); }

  // The scratch folders (named after the helper) that the runs left behind; the disk-image
  // tool's shared mount folder is no scratch folder.
  std::vector<std::string> leftScratchFolders() const {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(scratchRoot_->path())) {
      std::string name = entry.path().filename().string();
      if (name.rfind(build::kBundleIdentifier, 0) == 0 && name.find(".volumes-") == std::string::npos)
        left.push_back(name);
    }
    return left;
  }
  std::vector<std::string> targetEntries() const { return folderEntries(target()); }

  static inline TempFolder* folder_ = nullptr;
  static inline TestCertificateAuthority* authority_ = nullptr;
  static inline ScopedEnvironmentVariable* trust_ = nullptr;

  std::unique_ptr<LoopbackServer> server_;
  std::unique_ptr<ScopedEnvironmentVariable> caskHost_, tmpdir_, system_;
  std::unique_ptr<TempFolder> scratchRoot_;
  std::mutex mutex_;
  std::vector<RecordedEvent> events_;
  std::vector<Json> progress_;
  platform::NotificationCenter::Token progressToken_ = 0;
  platform::RecordingWorkspace* workspace_ = nullptr;
  std::unique_ptr<platform::Workspace> previousWorkspace_;
};

}  // namespace vantor::test
