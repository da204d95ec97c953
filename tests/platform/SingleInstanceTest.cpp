#include "platform/SingleInstance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace vantor::platform {
namespace {

using Role = SingleInstance::Role;

// Links the primary received, waited for across threads.
struct Received {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> links;
  bool take(const std::string& link) {
    std::lock_guard lock(mutex);
    links.push_back(link);
    arrived.notify_all();
    return true;
  }
};

TEST(SingleInstanceTest, SecondLaunchHandsItsLinkToThePrimary) {
  test::TempFolder folder;
  std::string path = folder / "helper.socket";
  auto first = SingleInstance::claimOrForward(path, std::nullopt);
  ASSERT_EQ(first.role, Role::Primary) << first.error;
  Received received;
  first.primary->serve([&](const std::string& link) { return received.take(link); });

  auto second = SingleInstance::claimOrForward(path, std::string("vantor://com.example.editor"));
  EXPECT_EQ(second.role, Role::Forwarded) << second.error;
  EXPECT_EQ(SingleInstance::claimOrForward(path, std::nullopt).role, Role::AlreadyRunning);
  {
    std::lock_guard lock(received.mutex);
    ASSERT_EQ(received.links, std::vector<std::string>{"vantor://com.example.editor"});
  }
  first.primary->close();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SingleInstanceTest, TakenLinkIsDeliveredOnlyAfterTheSenderHasItsAnswer) {
  // Delivery may end the primary (the test link does); the sender must have its answer
  // by then, or it would handle the link a second time itself.
  test::TempFolder folder;
  std::string path = folder / "helper.socket";
  auto first = SingleInstance::claimOrForward(path, std::nullopt);
  ASSERT_EQ(first.role, Role::Primary);
  std::promise<void> senderAnswered;
  std::future<void> answered = senderAnswered.get_future();
  std::atomic<bool> deliveredAfterAnswer{false};
  first.primary->serve([](const std::string&) { return true; },
                       [&](const std::string&) {
                         deliveredAfterAnswer = answered.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
                       });
  EXPECT_EQ(SingleInstance::claimOrForward(path, std::string("vantor://x")).role, Role::Forwarded);
  senderAnswered.set_value();
  first.primary->close();
  EXPECT_TRUE(deliveredAfterAnswer);
}

TEST(SingleInstanceTest, PrimaryThatRefusesIsReported) {
  test::TempFolder folder;
  std::string path = folder / "helper.socket";
  auto first = SingleInstance::claimOrForward(path, std::nullopt);
  ASSERT_EQ(first.role, Role::Primary);
  first.primary->serve([](const std::string&) { return false; });
  EXPECT_EQ(SingleInstance::claimOrForward(path, std::string("vantor://x")).role, Role::Refused);
}

TEST(SingleInstanceTest, StaleSocketOfACrashedHelperIsReplaced) {
  test::TempFolder folder;
  std::string path = folder / "helper.socket";
  {
    // A bound socket whose owner is gone: nobody listens on the file any more.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
  }
  ASSERT_TRUE(std::filesystem::is_socket(path));
  auto outcome = SingleInstance::claimOrForward(path, std::string("vantor://x"));
  EXPECT_EQ(outcome.role, Role::Primary) << outcome.error;
}

TEST(SingleInstanceTest, PathTakenByAFileIsLeftAlone) {
  test::TempFolder folder;
  std::string path = folder / "helper.socket";
  test::writeFile(path, "not a socket");
  auto outcome = SingleInstance::claimOrForward(path, std::string("vantor://x"));
  EXPECT_EQ(outcome.role, Role::Unavailable);
  EXPECT_NE(outcome.error.find("not a socket"), std::string::npos);
  EXPECT_EQ(test::readFile(path), "not a socket");
}

TEST(SingleInstanceTest, ClosingLeavesAReplacementSocketInPlace) {
  test::TempFolder folder;
  std::string path = folder / "helper.socket";
  auto first = SingleInstance::claimOrForward(path, std::nullopt);
  ASSERT_EQ(first.role, Role::Primary);
  // Someone replaced the file after deciding ours was stale.
  ::unlink(path.c_str());
  auto second = SingleInstance::claimOrForward(path, std::nullopt);
  ASSERT_EQ(second.role, Role::Primary);
  first.primary->close();
  EXPECT_TRUE(std::filesystem::is_socket(path));
}

TEST(SingleInstanceTest, DefaultPathLivesInTheRuntimeFolder) {
  test::isolateHome();
  auto path = SingleInstance::defaultSocketPath();
  ASSERT_TRUE(path);
  EXPECT_EQ(path->rfind(std::getenv("XDG_RUNTIME_DIR"), 0), 0u);
}

}  // namespace
}  // namespace vantor::platform
