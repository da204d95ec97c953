#include <gtest/gtest.h>

#include "foundation/Json.h"
#include "platform/ChildProcess.h"
#include "support/AppBundleWriter.h"
#include "support/MachOWriter.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

using testing::AppBundleWriter;
using testing::MachOWriter;

platform::ProcessResult inspect(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), test::binaryPath("vantor-inspect"));
  platform::RunOptions options;
  options.mergeStderr = false;
  options.timeoutSeconds = 60;
  auto result = platform::runProcess(arguments, options);
  EXPECT_TRUE(result.launched) << result.launchError;
  return result;
}

std::string universalExecutable() {
  MachOWriter::Thin x86;
  x86.commands = {MachOWriter::filler(0x19, 18), MachOWriter::versionMin(10, 13, 0)};
  MachOWriter::Thin arm;
  arm.cpuType = MachOWriter::kARM64;
  arm.commands = {MachOWriter::buildVersion(1, 11, 0, 0)};
  return MachOWriter::fat({{MachOWriter::thin(x86), MachOWriter::kX86_64, 3, std::nullopt, std::nullopt},
                           {MachOWriter::thin(arm), MachOWriter::kARM64, 0, std::nullopt, std::nullopt}});
}

TEST(BundleCommandsTest, PlistShowsTheMergedDictionaryAndTheFixedIdentifier) {
  AppBundleWriter app;
  app.writeInfoPlist({{"CFBundleIdentifier", "com.example.app"},
                      {"CFBundleName", "Pro"},
                      {"CFBundleExecutable", "Sample"},
                      {"CFBundleVersion", 42},
                      {"CFBundleShortVersionString", "1.2"},
                      {"LSMinimumSystemVersion", "10.11"},
                      {"Blob", Json::binary({1, 2, 3})}},
                     AppBundleWriter::Format::Binary);
  app.writeFile("Contents/Resources/en.lproj/InfoPlist.strings",
                AppBundleWriter::utf16("\"CFBundleName\" = \"Profi\";", false, true));
  app.writeFile("Contents/MacOS/Sample", universalExecutable());

  auto plain = inspect({"plist", app.path(), "--json"});
  ASSERT_EQ(plain.status, 0) << plain.errorOutput;
  Json report = Json::parse(plain.output);
  EXPECT_EQ(report["bundleIdentifier"], "com.example.app");
  EXPECT_EQ(report["bundleVersion"], "42");
  EXPECT_EQ(report["shortVersionString"], "1.2");
  EXPECT_EQ(report["minimumSystemVersion"], "10.11");
  EXPECT_EQ(report["realMinimumSystemVersion"], "10.13.0");
  EXPECT_EQ(report["executable"], app.path() + "/Contents/MacOS/Sample");
  EXPECT_EQ(report["dictionary"]["CFBundleName.override"], "Profi");
  EXPECT_EQ(report["dictionary"]["Blob"], "AQID");
  EXPECT_FALSE(report.contains("fixupType"));

  auto fixed = inspect({"plist", "--fixup-type", "9", app.path()});
  ASSERT_EQ(fixed.status, 0) << fixed.errorOutput;
  EXPECT_NE(fixed.output.find("identifier: com.example.app.Profi (fixup type 9 of com.example.app)\n"),
            std::string::npos)
      << fixed.output;

  EXPECT_EQ(inspect({"plist", app.path() + "/Contents/MacOS"}).status, 1);  // no Info.plist there
  EXPECT_EQ(inspect({"plist", app.path(), "--fixup-type", "x"}).status, 2);
}

TEST(BundleCommandsTest, MachoListsSlicesAndTheDecidingCommand) {
  AppBundleWriter app;
  app.writeFile("Contents/MacOS/Sample", universalExecutable());
  std::string file = app.path() + "/Contents/MacOS/Sample";

  auto text = inspect({"macho", file});
  ASSERT_EQ(text.status, 0) << text.errorOutput;
  EXPECT_EQ(text.output, "file: " + file +
                             "\nkind: fat, 2 slices declared\n"
                             "slice 0: x86_64, offset 4096, size 128, 64-bit little-endian, minimum system 10.13.0 "
                             "from LC_VERSION_MIN_MACOSX\n"
                             "slice 1: arm64, offset 8192, size 56, 64-bit little-endian, minimum system 11.0.0 from "
                             "LC_BUILD_VERSION\n"
                             "minimum system: 10.13.0 (LC_VERSION_MIN_MACOSX)\n");

  auto json = inspect({"macho", "--json", file});
  ASSERT_EQ(json.status, 0);
  Json report = Json::parse(json.output);
  EXPECT_EQ(report["version"], "10.13.0");
  EXPECT_EQ(report["slices"][1]["architecture"], "arm64");
  EXPECT_EQ(report["slices"][1]["command"], "LC_BUILD_VERSION");

  EXPECT_EQ(inspect({"macho", app.path() + "/missing"}).status, 1);
  EXPECT_EQ(inspect({"macho"}).status, 2);
}

}  // namespace
}  // namespace vantor
