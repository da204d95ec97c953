#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantor::platform {
namespace {

// A binary property list from raw object bodies: offsets of 4 bytes, references of
// refSize bytes, the first object as root.
std::vector<std::uint8_t> binaryList(const std::vector<std::string>& objects, unsigned refSize = 1,
                                     std::uint64_t claimedCount = 0) {
  std::string out = "bplist00";
  std::vector<std::uint32_t> offsets;
  for (const auto& o : objects) {
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    out += o;
  }
  std::uint64_t table = out.size();
  for (auto off : offsets)
    for (int s = 24; s >= 0; s -= 8) out += static_cast<char>(off >> s & 0xFF);
  out += std::string(6, '\0');
  out += static_cast<char>(4);
  out += static_cast<char>(refSize);
  auto be64 = [&](std::uint64_t v) {
    for (int s = 56; s >= 0; s -= 8) out += static_cast<char>(v >> s & 0xFF);
  };
  be64(claimedCount ? claimedCount : objects.size());
  be64(0);
  be64(table);
  return {out.begin(), out.end()};
}

std::string ref4(std::uint32_t i) {
  return {static_cast<char>(i >> 24), static_cast<char>(i >> 16 & 0xFF), static_cast<char>(i >> 8 & 0xFF),
          static_cast<char>(i & 0xFF)};
}

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

TEST(PropertyListLimitsTest, HostileBinaryListsAreRefusedQuickly) {
  // Each of these either crashes libplist, hangs it, or makes it allocate without bound.
  std::vector<std::string> bomb;  // object i is [i+1, i+1]: 2^60 nodes once expanded
  for (int i = 0; i < 60; ++i) bomb.push_back(bytes({0xA2, i + 1, i + 1}));
  bomb.push_back(bytes({0x10, 0x01}));
  std::vector<std::string> chain;  // 100000 arrays each holding the next
  for (std::uint32_t i = 0; i < 100000; ++i) chain.push_back(bytes({0xA1}) + ref4(i + 1));
  chain.push_back(bytes({0x10, 0x01}));

  struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {"array holding itself", binaryList({bytes({0xA1, 0x00})})},
      {"dictionary holding itself", binaryList({bytes({0xD1, 0x01, 0x00}), bytes({0x51, 'k'})})},
      {"shared-object bomb", binaryList(bomb)},
      {"reference chain deeper than the limit", binaryList(chain, 4)},
      {"array claiming 2^40 elements", binaryList({bytes({0xAF, 0x13, 0, 0, 1, 0, 0, 0, 0, 0})})},
      {"object count claiming 2^62", binaryList({bytes({0x10, 0x01})}, 1, 1ull << 62)},
      {"reference past the object table", binaryList({bytes({0xA1, 0x07})})},
      {"truncated trailer", {'b', 'p', 'l', 'i', 's', 't', '0', '0', 0, 0, 0}},
  };
  for (const auto& c : cases) {
    std::string_view view(reinterpret_cast<const char*>(c.data.data()), c.data.size());
    EXPECT_FALSE(binaryPropertyListWithinLimits(view)) << c.name;
    EXPECT_FALSE(parsePropertyList(c.data)) << c.name;
  }
}

TEST(PropertyListLimitsTest, SharedObjectsAndOrdinaryListsStillParse) {
  // The writer shares equal strings; a dictionary whose values all point at one string.
  auto shared = binaryList({bytes({0xD3, 1, 2, 3, 4, 4, 4}), bytes({0x51, 'a'}), bytes({0x51, 'b'}),
                            bytes({0x51, 'c'}), bytes({0x53, 'x', 'y', 'z'})});
  auto parsed = parsePropertyList(shared);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(*parsed, (nlohmann::json{{"a", "xyz"}, {"b", "xyz"}, {"c", "xyz"}}));

  nlohmann::json value = {{"CFBundleIdentifier", "com.example.app"},
                          {"CFBundleVersion", 42},
                          {"List", {1, "two", {{"three", 3.5}}}},
                          {"Flag", true}};
  auto binary = binaryPropertyList(value);
  ASSERT_TRUE(binary);
  EXPECT_EQ(parsePropertyList(*binary), value);
  auto xml = xmlPropertyList(value);
  ASSERT_TRUE(xml);
  EXPECT_EQ(parsePropertyList(std::vector<std::uint8_t>(xml->begin(), xml->end())), value);
}

TEST(PropertyListLimitsTest, DeeplyNestedXMLIsRefusedAndCommentsAreNotCounted) {
  std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  for (int i = 0; i < 1000000; ++i) deep += "<array>";
  for (int i = 0; i < 1000000; ++i) deep += "</array>";
  deep += "</plist>";
  EXPECT_FALSE(xmlPropertyListWithinLimits(deep));
  EXPECT_FALSE(parsePropertyList(std::vector<std::uint8_t>(deep.begin(), deep.end())));

  std::string fine = "<plist><!-- <array><array><array> --><dict><key>a</key><array/><array></array></dict></plist>";
  EXPECT_TRUE(xmlPropertyListWithinLimits(fine, PropertyListLimits{.maxDepth = 2}));
  std::string three = "<plist><dict><key>a</key><array><dict/><dict></dict></array></dict></plist>";
  EXPECT_FALSE(xmlPropertyListWithinLimits(three, PropertyListLimits{.maxDepth = 2}));
}

}  // namespace
}  // namespace vantor::platform
