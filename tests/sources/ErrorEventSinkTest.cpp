#include "sources/CGIInfoHelper.h"

#include <gtest/gtest.h>

#include "foundation/NamedValues.h"

namespace vantor {
namespace {

TEST(ErrorEventSinkTest, EventsAreDiscardedButATestObserverSeesThem) {
  CGIInfoHelper::collectErrorEvent(103, std::nullopt);  // no observer: nothing happens

  std::vector<std::pair<long, std::optional<Json>>> seen;
  CGIInfoHelper::setErrorEventObserverForTesting(
      [&](long code, const std::optional<Json>& info) { seen.emplace_back(code, info); });
  std::optional<std::string> absent;
  CGIInfoHelper::collectErrorEvent(103, makeDictionaryOfVariables("unsaveBID, info", absent, "date_cgi"));
  CGIInfoHelper::setErrorEventObserverForTesting(nullptr);
  CGIInfoHelper::collectErrorEvent(104, std::nullopt);

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, 103);
  EXPECT_EQ(seen[0].second, (Json{{"unsaveBID", "(null)"}, {"info", "date_cgi"}}));
}

}  // namespace
}  // namespace vantor
