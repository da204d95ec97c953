#include "platform/HostFacts.h"

#include <stdlib.h>

#include <thread>

#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"
#include "platform/SystemVersion.h"

namespace vantor::platform {
namespace {

TEST(HostFactsTest, OnlineOverride) {
  ::setenv("VANTOR_ONLINE", "0", 1);
  EXPECT_FALSE(networkReachable());
  ::setenv("VANTOR_ONLINE", "1", 1);
  EXPECT_TRUE(networkReachable());
  ::unsetenv("VANTOR_ONLINE");
}

TEST(HostFactsTest, ParsesHardwareAddresses) {
  auto bytes = parseHardwareAddress("00:1a:2b:0c:4d:5e");
  ASSERT_TRUE(bytes);
  EXPECT_EQ((*bytes)[1], 0x1a);
  EXPECT_EQ((*bytes)[3], 0x0c);
  EXPECT_FALSE(parseHardwareAddress("00:1a:2b"));
  EXPECT_FALSE(parseHardwareAddress("00:1a:2b:0c:4d:5e:77"));
}

TEST(HostFactsTest, EmulatedSystemVersion) {
  ::unsetenv("VANTOR_SYSTEM_VERSION");
  EXPECT_EQ(systemVersion(), "10.15.7");
  ::setenv("VANTOR_SYSTEM_VERSION", "10.13.6", 1);
  EXPECT_EQ(systemVersion(), "10.13.6");
  EXPECT_EQ(operatingSystemVersionString().rfind("Version 10.13.6", 0), 0u);
  ::unsetenv("VANTOR_SYSTEM_VERSION");
}

TEST(NotificationCenterTest, ObserverRunsOnThePostingThread) {
  NotificationCenter center;
  std::thread::id seen;
  nlohmann::json object;
  auto token = center.addObserver("ProgressUpdateNotification", [&](const nlohmann::json& o) {
    seen = std::this_thread::get_id();
    object = o;
  });
  int other = 0;
  center.addObserver("Other", [&](const nlohmann::json&) { ++other; });
  std::thread poster([&] { center.post("ProgressUpdateNotification", {{"percent", 5}}); });
  std::thread::id posterId = poster.get_id();
  poster.join();
  EXPECT_EQ(seen, posterId);
  EXPECT_EQ(object["percent"], 5);
  EXPECT_EQ(other, 0);
  center.removeObserver(token);
  object = nullptr;
  center.post("ProgressUpdateNotification", {{"percent", 6}});
  EXPECT_TRUE(object.is_null());
}

}  // namespace
}  // namespace vantor::platform
