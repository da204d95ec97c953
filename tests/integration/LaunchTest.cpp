// The real helper binary, run with its home and runtime folder in a temporary folder and
// the scripted front end.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/PropertyList.h"
#include "signer/CatalogSigner.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

using platform::ProcessResult;

class LaunchTest : public ::testing::Test {
 protected:
  LaunchTest() {
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(runtime());
    ::chmod(runtime().c_str(), 0700);
    // Links other than the test link need the product application's catalog.
    writeCatalog(signedCatalog(R"({"bundleIDMapping":{"com.example.editor":{"cn":"editor"}}})"));
  }

  std::string catalogPath() const { return home() + "/Library/Application Support/Vantor/config.json.encr"; }
  void writeCatalog(const std::vector<std::uint8_t>& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(catalogPath()).parent_path());
    test::writeFile(catalogPath(), std::string(bytes.begin(), bytes.end()));
  }
  static std::vector<std::uint8_t> signedCatalog(std::string_view text,
                                                 const std::string& keyPath = signer::defaultPrivateKeyPath()) {
    auto file = signer::signCatalogWithKeyFile(text, keyPath);
    EXPECT_TRUE(file.has_value());
    return file ? *file : std::vector<std::uint8_t>();
  }

  std::string home() const { return folder_ / "home"; }
  std::string runtime() const { return folder_ / "run"; }
  std::string transcriptPath() const { return folder_ / "transcript.jsonl"; }
  std::string supportFolder() const { return home() + "/Library/Application Support/VantorInstallHelper"; }
  std::string socketPath() const { return runtime() + "/com.vantor.VantorInstallHelper.socket"; }

  std::vector<std::pair<std::string, std::string>> environment(
      std::vector<std::pair<std::string, std::string>> extra = {}) const {
    std::vector<std::pair<std::string, std::string>> env = {
        {"HOME", home()},
        {"XDG_RUNTIME_DIR", runtime()},
        {"VANTOR_UI", "script"},
        {"VANTOR_UI_TRANSCRIPT", transcriptPath()},
        {"VANTOR_UI_SCRIPT", folder_ / "answers.jsonl"},
        // Requests end at the offline refusal: the helper stays up and nothing leaves the machine.
        {"VANTOR_ONLINE", "0"},
    };
    for (auto& [key, value] : extra) {
      auto same = std::find_if(env.begin(), env.end(), [&](const auto& entry) { return entry.first == key; });
      if (same != env.end()) same->second = value;
      else env.emplace_back(key, value);
    }
    return env;
  }

  void answers(const std::string& lines) { test::writeFile(folder_ / "answers.jsonl", lines); }

  ProcessResult run(std::vector<std::string> arguments,
                    std::vector<std::pair<std::string, std::string>> extra = {}) const {
    arguments.insert(arguments.begin(), test::binaryPath("vantor-install-helper"));
    platform::RunOptions options;
    options.environment = environment(std::move(extra));
    options.timeoutSeconds = 60;
    return platform::runProcess(arguments, options);
  }

  std::vector<nlohmann::json> transcript() const {
    if (!std::filesystem::exists(transcriptPath())) return {};
    return test::readJsonLines(transcriptPath());
  }

  // Starts a helper without a link and waits until it listens.
  std::unique_ptr<platform::ChildProcess> startFirst() {
    platform::ProcessOptions options;
    options.environment = environment();
    std::string error;
    auto child = platform::ChildProcess::spawn({test::binaryPath("vantor-install-helper")}, options, &error);
    EXPECT_TRUE(child) << error;
    for (int i = 0; i < 200 && !std::filesystem::is_socket(socketPath()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_TRUE(std::filesystem::is_socket(socketPath()));
    return child;
  }

  // Reads what the running helper writes until the text appears (true) or the time is up.
  static bool waitForOutput(platform::ChildProcess& child, std::string_view text, std::string* seen,
                            double seconds = 30) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (seen->find(text) == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd entry{child.outputFd(), POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      ssize_t n = ::read(child.outputFd(), buffer, sizeof buffer);
      if (n <= 0) return false;
      seen->append(buffer, static_cast<size_t>(n));
    }
    return true;
  }

  // Everything the helper wrote, once it has ended.
  static std::string outputOf(platform::ChildProcess& child) {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(child.outputFd(), buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    return out;
  }

  test::TempFolder folder_;
};

TEST_F(LaunchTest, QuitAfterLaunchEndsBeforeAnythingElse) {
  test::writeFile(supportFolder(), "a file where the folder belongs");
  ProcessResult result = run({"--quitAfterLaunch", "vantor://com.example.editor"});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(transcript().empty());  // no support-folder alert: the context was never made
  EXPECT_FALSE(std::filesystem::exists(socketPath()));
  EXPECT_EQ(result.output.find("handleURL"), std::string::npos);
}

TEST_F(LaunchTest, OnlyTheExactQuitArgumentQuits) {
  ProcessResult result = run({"--quitAfterLaunchNow", "vantor://tesselURLtest"});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(std::filesystem::is_directory(supportFolder()));  // the launch went on
}

TEST_F(LaunchTest, TestLinkQuitsWithoutHandlingIt) {
  ProcessResult result = run({"vantor://tesselURLtest"});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_FALSE(result.signaled);
  EXPECT_EQ(result.output.find("handleURL"), std::string::npos) << result.output;
  EXPECT_TRUE(transcript().empty());
  EXPECT_FALSE(std::filesystem::exists(socketPath()));  // removed on the way out
}

TEST_F(LaunchTest, SecondLaunchHandsItsLinkToTheRunningHelper) {
  auto first = startFirst();
  ASSERT_TRUE(first);

  ProcessResult second = run({"vantor://com.example.editor"});
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find("handed the link"), std::string::npos) << second.output;
  EXPECT_EQ(run({}).status, 0);  // a launch without a link just leaves
  EXPECT_EQ(run({"vantor://tesselURLtest"}).status, 0);

  ASSERT_TRUE(first->waitFor(30));
  EXPECT_EQ(first->exitStatus(), 0);
  std::string log = outputOf(*first);
  EXPECT_NE(log.find("Info: handleURL: vantor://com.example.editor"), std::string::npos) << log;
  auto lines = transcript();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["title"], "Computer Offline");

  // The test link in capitals is an ordinary link: it is handled, not obeyed, and its
  // prefix is refused.
  ProcessResult capitals = run({"VANTOR://TESSELURLTEST"});
  EXPECT_EQ(capitals.status, 1);
  EXPECT_NE(capitals.output.find("Info: handleURL: VANTOR://TESSELURLTEST"), std::string::npos) << capitals.output;
  lines = transcript();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]["message"], "fatal error please reinstall Vantor");
}

TEST_F(LaunchTest, StaleSocketOfACrashedHelperIsReplaced) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath().c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);

  auto first = startFirst();
  ASSERT_TRUE(first);
  // The stale socket is a socket already: wait until the helper answers on its own one
  // (a connection that sends nothing is only a probe to it).
  bool listening = false;
  for (int i = 0; i < 400 && !listening; ++i) {
    int probe = ::socket(AF_UNIX, SOCK_STREAM, 0);
    listening = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    if (!listening) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_TRUE(listening);
  EXPECT_EQ(run({"vantor://tesselURLtest"}).status, 0);
  ASSERT_TRUE(first->waitFor(30));
  EXPECT_EQ(first->exitStatus(), 0);
}

TEST_F(LaunchTest, SocketPathTakenByAFileIsKeptAndTheHelperStillRuns) {
  test::writeFile(socketPath(), "mine");
  ProcessResult result = run({"vantor://tesselURLtest"});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("not a socket"), std::string::npos) << result.output;
  EXPECT_EQ(test::readFile(socketPath()), "mine");
}

TEST_F(LaunchTest, BadLinksOnTheCommandLineAreRefusedWithoutACrash) {
  struct Case {
    const char* label;
    std::string link;
  } cases[] = {
      {"empty", ""},
      {"not UTF-8", "vantor://com.example.\xff\xfe"},
      {"100 KB", "vantor://" + std::string(100 * 1024, 'a')},  // the system caps one argument at 128 KB
  };
  for (const auto& c : cases) {
    ProcessResult result = run({c.link});
    EXPECT_FALSE(result.signaled) << c.label;
    EXPECT_EQ(result.status, 1) << c.label;
    EXPECT_NE(result.output.find("refusing the link"), std::string::npos) << c.label << ": " << result.output;
  }
}

TEST_F(LaunchTest, HugeLinkOnTheChannelIsRefusedAndTheHelperGoesOn) {
  auto first = startFirst();
  ASSERT_TRUE(first);
  for (std::size_t size : {std::size_t{100 * 1024}, std::size_t{1} << 20}) {
    std::string link = "vantor://" + std::string(size, 'a');
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    unsigned char header[4] = {static_cast<unsigned char>(link.size() >> 24), static_cast<unsigned char>(link.size() >> 16),
                               static_cast<unsigned char>(link.size() >> 8), static_cast<unsigned char>(link.size())};
    ASSERT_EQ(::send(fd, header, 4, MSG_NOSIGNAL), 4);
    // The helper may stop reading as soon as it has seen the length.
    size_t sent = 0;
    while (sent < link.size()) {
      ssize_t n = ::send(fd, link.data() + sent, link.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    char reply = 0;
    EXPECT_EQ(::recv(fd, &reply, 1, 0), 1);
    EXPECT_EQ(reply, 'R') << size;
    ::close(fd);
  }
  EXPECT_EQ(run({"vantor://com.example.after"}).status, 0);
  EXPECT_EQ(run({"vantor://tesselURLtest"}).status, 0);
  ASSERT_TRUE(first->waitFor(30));
  EXPECT_EQ(first->exitStatus(), 0);
  std::string log = outputOf(*first);
  EXPECT_NE(log.find("refusing a link from another launch"), std::string::npos);
  EXPECT_NE(log.find("Info: handleURL: vantor://com.example.after"), std::string::npos);
}

TEST_F(LaunchTest, SupportFolderThatIsAFileIsReportedAndTheLaunchGoesOn) {
  test::writeFile(supportFolder(), "not a folder");
  ProcessResult result = run({"vantor://tesselURLtest"});
  EXPECT_EQ(result.status, 0) << result.output;
  auto lines = transcript();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["title"], "VantorInstallHelper");
  EXPECT_NE(lines[0]["message"].get<std::string>().find("is not a folder but a file. Please remove the file '" +
                                                        supportFolder() + "'"),
            std::string::npos);
  EXPECT_EQ(lines[0]["buttons"], nlohmann::json::array({"OK"}));
}

TEST_F(LaunchTest, SupportFolderThatCanNotBeCreatedEndsWithStatusOne) {
  std::filesystem::remove_all(home() + "/Library/Application Support");  // the catalog's folder
  test::writeFile(home() + "/Library/Application Support", "a file blocks the folder");
  ProcessResult result = run({"vantor://tesselURLtest"});
  EXPECT_EQ(result.status, 1) << result.output;
  auto lines = transcript();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0]["message"].get<std::string>().find("can not be created at the path '" + supportFolder() + "'"),
            std::string::npos);
}

TEST_F(LaunchTest, UncaughtExceptionEndsInTheFeedbackDialogWithStatusOne) {
  answers("{\"button\":1000}\n");
  ProcessResult result = run({}, {{"VANTOR_TEST_THROW_ON_LAUNCH", "1"}});
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_FALSE(result.signaled);

  auto lines = transcript();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["title"], "Fatal Error");
  EXPECT_EQ(lines[0]["buttons"], nlohmann::json::array({"Send to support", "Quit"}));
  EXPECT_EQ(lines[0]["message"].get<std::string>().rfind("std::runtime_error\n\n You can contact our support", 0), 0u);
  // "Send to support" opens the problem report through the workspace.
  EXPECT_EQ(lines[1]["kind"], "workspace");
  EXPECT_EQ(lines[1]["action"], "open");
  EXPECT_EQ(lines[1]["path"].get<std::string>().rfind("mailto:", 0), 0u);
  EXPECT_NE(lines[1]["path"].get<std::string>().find("Problem%20Report"), std::string::npos);

  auto prefs = test::readFile(home() + "/Library/Preferences/com.vantor.VantorInstallHelper.plist");
  auto defaults = platform::parsePropertyList(std::vector<std::uint8_t>(prefs.begin(), prefs.end()));
  ASSERT_TRUE(defaults);
  ASSERT_EQ((*defaults)["tessellib_exception_info"].size(), 1u);
  EXPECT_NE((*defaults)["tessellib_exception_info"][0].get<std::string>().find("exception thrown on launch"),
            std::string::npos);
}

// Without a usable catalog the first request ends in the fatal alert and status 1; the
// reason is logged, never shown.
TEST_F(LaunchTest, UnusableCatalogEndsInTheFatalErrorAlertWithStatusOne) {
  const std::string otherKey = std::string(build::kSourceDir) + "/tests/catalog/fixtures/other-4096-private.pem";
  struct Case {
    const char* name;
    std::optional<std::vector<std::uint8_t>> file;  // nothing: no file at all
  };
  std::vector<std::uint8_t> appended = signedCatalog(R"({"bundleIDMapping":{}})");
  appended.push_back(0);
  std::vector<std::uint8_t> flipped = signedCatalog(R"({"bundleIDMapping":{}})");
  flipped[600] ^= 1;
  const Case kCases[] = {
      {"missing", std::nullopt},
      {"empty", std::vector<std::uint8_t>()},
      {"one byte appended", appended},
      {"payload byte changed", flipped},
      {"signed with another key", signedCatalog(R"({"bundleIDMapping":{}})", otherKey)},
      {"not an object", signedCatalog("[1,2,3]")},
      {"not JSON", signedCatalog("bundleIDMapping")},
      {"no mapping", signedCatalog(R"({"ignoredBundleIDPrefixes":[]})")},
      {"mapping not an object", signedCatalog(R"({"bundleIDMapping":["com.example.editor"]})")},
  };
  for (const auto& c : kCases) {
    std::filesystem::remove(catalogPath());
    std::filesystem::remove(transcriptPath());
    if (c.file) writeCatalog(*c.file);
    ProcessResult result = run({"vantor://com.example.editor"});
    EXPECT_EQ(result.status, 1) << c.name << "\n" << result.output;
    EXPECT_FALSE(result.signaled) << c.name;
    EXPECT_NE(result.output.find("Error: the catalog " + catalogPath() + " can not be used"), std::string::npos)
        << c.name << "\n" << result.output;
    auto lines = transcript();
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_EQ(lines[0]["kind"], "alert") << c.name;
    EXPECT_EQ(lines[0]["function"], "alert") << c.name;
    EXPECT_EQ(lines[0]["title"], "Fatal Error") << c.name;
    EXPECT_EQ(lines[0]["message"], "Please launch Vantor at least once before using it to install apps.") << c.name;
    EXPECT_EQ(lines[0]["buttons"], nlohmann::json::array({"OK"})) << c.name;
  }
}

TEST_F(LaunchTest, CatalogIsLoadedOnceAndKeptEvenIfTheFileChanges) {
  auto first = startFirst();
  ASSERT_TRUE(first);
  std::string log;
  EXPECT_EQ(run({"vantor://com.example.editor"}).status, 0);
  ASSERT_TRUE(waitForOutput(*first, "Info: handleURL: vantor://com.example.editor", &log)) << log;

  writeCatalog({1, 2, 3});  // damaged after loading: the loaded catalog stays in use
  EXPECT_EQ(run({"vantor://com.example.other"}).status, 0);
  ASSERT_TRUE(waitForOutput(*first, "Info: handleURL: vantor://com.example.other", &log)) << log;

  EXPECT_EQ(run({"vantor://tesselURLtest"}).status, 0);
  ASSERT_TRUE(first->waitFor(30));
  EXPECT_EQ(first->exitStatus(), 0);
  auto lines = transcript();  // both requests went past the catalog check
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["title"], "Computer Offline");
  EXPECT_EQ(lines[1]["title"], "Computer Offline");
}

}  // namespace
}  // namespace vantor
