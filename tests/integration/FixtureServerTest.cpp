// vantor-fixture-server as the tests and the demo use it: files on both ports, the two
// CGI paths, the answer rules, a CA the helper's issuer check accepts, and a clean stop.
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/ChildProcess.h"
#include "sources/CGIInfoHelper.h"
#include "support/FixtureServerProcess.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

using test::FixtureServerProcess;

class FixtureServerTest : public ::testing::Test {
 protected:
  FixtureServerTest() {
    test::isolateHome();
    std::filesystem::create_directories(root() + "/casks");
    std::filesystem::create_directories(root() + "/cgi-bin/receive_date");
    test::writeFile(root() + "/casks/editor.rb", "cask 'editor' do\nend\n");
    test::writeFile(root() + "/cgi-bin/configfile.encr", "catalog bytes");
    test::writeFile(root() + "/cgi-bin/receive_date/com.example.editor.json",
                    R"([{"Path1":"/Applications/Editor.app"}])");
    test::writeFile(folder_ / "outside.txt", "secret");
  }
  std::string root() const { return folder_ / "root"; }
  void rules(const std::string& json) { test::writeFile(root() + "/fixture-rules.json", json); }

  static httplib::Result get(const std::string& host, int port, const std::string& path, double timeout = 10) {
    httplib::Client client(host, port);
    client.set_read_timeout(std::chrono::milliseconds(static_cast<long>(timeout * 1000)));
    return client.Get(path.c_str());
  }

  test::TempFolder folder_;
};

TEST_F(FixtureServerTest, ServesEveryFileAtItsPathOnBothPortsAndNothingOutsideTheRoot) {
  FixtureServerProcess server(root());
  auto plain = get("127.0.0.1", server.httpPort(), "/casks/editor.rb");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->status, 200);
  EXPECT_EQ(plain->body, "cask 'editor' do\nend\n");

  httplib::SSLClient secure("127.0.0.1", server.httpsPort());
  secure.set_ca_cert_path(server.caFile().c_str());
  secure.enable_server_certificate_verification(true);
  auto viaTLS = secure.Get("/casks/editor.rb");
  ASSERT_TRUE(viaTLS) << httplib::to_string(viaTLS.error());
  EXPECT_EQ(viaTLS->body, "cask 'editor' do\nend\n");

  for (const char* path : {"/casks/missing.rb", "/casks", "/../outside.txt", "/casks/%2e%2e/../outside.txt", "/casks/editor.rb%00.txt",
                           "/fixture-rules.json"}) {
    auto result = get("127.0.0.1", server.httpPort(), path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 404) << path;
  }
  EXPECT_EQ(server.stop(), 0);
}

TEST_F(FixtureServerTest, ProductServerPathsAnswerFromTheirFilesThroughTheIssuerCheck) {
  FixtureServerProcess server(root());
  test::ScopedEnvironmentVariable host("VANTOR_PRODUCT_SERVER", server.httpsHost());
  test::ScopedEnvironmentVariable trust("VANTOR_CA_BUNDLE", server.caFile());

  // The helper's own form POST, certificate issuer check included.
  auto answer = CGIInfoHelper::receiveDateForApp("com.example.editor", "", "");
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ((*answer)[0]["Path1"], "/Applications/Editor.app");
  auto posted = server.requests("/cgi-bin/receive_date.cgi");
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0]["method"], "POST");
  EXPECT_EQ(posted[0]["body"].get<std::string>().rfind("c=com.example.editor&", 0), 0u);

  EXPECT_FALSE(CGIInfoHelper::receiveDateForApp("com.example.unknown", "", "").has_value());  // 404

  auto catalog = CGIInfoHelper::downloadConfigFile();
  ASSERT_TRUE(catalog.has_value());
  EXPECT_EQ(std::string(catalog->begin(), catalog->end()), "catalog bytes");
}

TEST_F(FixtureServerTest, RulesMakeAnswersFailSlowTrickleOrSilent) {
  rules(R"({"/casks/editor.rb": [{"status": 500}, {"status": 404}, {}],
            "/silent.txt": {"silent": true},
            "/slow.txt": {"delayMs": 3000},
            "/trickle.txt": {"trickleBytes": 2, "intervalMs": 20}})");
  test::writeFile(root() + "/silent.txt", "never");
  test::writeFile(root() + "/slow.txt", "late");
  test::writeFile(root() + "/trickle.txt", "0123456789");
  FixtureServerProcess server(root());
  int port = server.httpPort();

  struct Case {
    const char* path;
    int status;
  } sequence[] = {{"/casks/editor.rb", 500}, {"/casks/editor.rb", 404}, {"/casks/editor.rb", 200},
                  {"/casks/editor.rb", 200}, {"/casks/editor.rb?fixture-status=503", 503}};
  for (const auto& step : sequence) {
    auto result = get("127.0.0.1", port, step.path);
    ASSERT_TRUE(result) << step.path;
    EXPECT_EQ(result->status, step.status) << step.path;
  }

  auto trickled = get("127.0.0.1", port, "/trickle.txt");
  ASSERT_TRUE(trickled);
  EXPECT_EQ(trickled->body, "0123456789");

  EXPECT_FALSE(get("127.0.0.1", port, "/slow.txt", 0.5));  // times out before the answer
  EXPECT_FALSE(get("127.0.0.1", port, "/silent.txt", 0.5));
  EXPECT_FALSE(get("127.0.0.1", port, "/trickle.txt?fixture-silent=1", 0.5));

  // A stop with held connections still ends promptly and cleanly.
  auto held = std::thread([port] { get("127.0.0.1", port, "/silent.txt", 30); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(server.stop(), 0);
  held.join();
  EXPECT_EQ(server.requests("/casks/editor.rb").size(), 5u);
}

TEST_F(FixtureServerTest, RefusesBadUsageAndABusyPort) {
  auto run = [](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), test::binaryPath("vantor-fixture-server"));
    platform::RunOptions options;
    options.timeoutSeconds = 30;
    return platform::runProcess(arguments, options);
  };
  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"--root", root(), "--http-port", "70000"}).status, 2);
  EXPECT_EQ(run({"--root", root(), "--bogus", "1"}).status, 2);
  auto missing = run({"--root", folder_ / "absent"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("is not a folder"), std::string::npos) << missing.output;

  FixtureServerProcess first(root());
  auto busy = run({"--root", root(), "--http-port", std::to_string(first.httpPort())});
  EXPECT_EQ(busy.status, 1);
  EXPECT_NE(busy.output.find("can not listen"), std::string::npos) << busy.output;
}

}  // namespace
}  // namespace vantor
