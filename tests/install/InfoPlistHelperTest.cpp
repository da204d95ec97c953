#include "install/InfoPlistHelper.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "foundation/FileHelpers.h"
#include "support/AppBundleWriter.h"
#include "support/MachOWriter.h"

namespace vantor {
namespace {

using testing::AppBundleWriter;
using testing::MachOWriter;

class FakeCatalog : public InfoPlistFixupSource {
 public:
  std::map<std::string, Json> bundleIdentifierFixups;
  std::optional<Json> shouldFixupBundleIdentifier(const std::string& bid) const override {
    auto it = bundleIdentifierFixups.find(bid);
    return it == bundleIdentifierFixups.end() ? std::nullopt : std::optional<Json>(it->second);
  }
  std::optional<Json> shouldFixupVersionInformation(const std::string&) const override { return std::nullopt; }
};

// Points HOME at a folder for the length of a test.
class ScopedHome {
 public:
  explicit ScopedHome(const std::string& home) {
    if (const char* old = std::getenv("HOME")) old_ = old;
    ::setenv("HOME", home.c_str(), 1);
  }
  ~ScopedHome() {
    if (old_) ::setenv("HOME", old_->c_str(), 1);
    else ::unsetenv("HOME");
  }

 private:
  std::optional<std::string> old_;
};

std::string executableWithMinimum(int major, int minor) {
  MachOWriter::Thin thin;
  thin.commands = {MachOWriter::filler(0x19, 18), MachOWriter::versionMin(major, minor, 0)};
  return MachOWriter::thin(thin);
}

// An executable whose last bytes hold a signing certificate's subject.
std::string signedExecutable(const std::string& name, size_t size = 20000) {
  std::string subject = "\x30\x4b\x06\x03\x55\x04\x03\x0c\x44" "Developer ID Application: " + name + " (ABCDE12345)" +
                        std::string("\x31\x13\x30\x11\x06\x03\x55\x04\x0b\x0c\x0a", 11) + "ABCDE12345";
  std::string bytes = executableWithMinimum(10, 13);
  bytes.resize(size - subject.size() - 300, '\0');
  return bytes + subject + std::string(300, '\0');
}

TEST(InfoPlistHelperTest, StringsFilesAddOverrideKeysAndInfoPlistWins) {
  AppBundleWriter app;
  app.writeFile("Contents/Resources/InfoPlist.strings", "\"CFBundleName\" = \"Base\";\n\"Extra\" = \"x\";\n");
  app.writeFile("Contents/Resources/en.lproj/InfoPlist.strings",
                AppBundleWriter::utf16("/* English */\n\"CFBundleName\" = \"Localis\xC3\xA9\";\n"
                                       "\"CFBundleDisplayName\" = \"Shown\";\n",
                                       false, true));
  app.writeInfoPlist({{"CFBundleIdentifier", "com.example.app"}, {"CFBundleName", "Plain"}});

  auto info = InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), false, false);
  ASSERT_TRUE(info);
  EXPECT_EQ((*info)["CFBundleName"], "Plain");
  EXPECT_EQ((*info)["CFBundleName.override"], "Localis\xC3\xA9");  // the later strings file wins
  EXPECT_EQ((*info)["CFBundleDisplayName"], "Shown");
  EXPECT_EQ((*info)["CFBundleDisplayName.override"], "Shown");
  EXPECT_EQ((*info)["Extra.override"], "x");
  EXPECT_FALSE(info->contains("CFBundleIdentifier.override"));
}

TEST(InfoPlistHelperTest, IPhoneAndInternalAppsAreRefused) {
  struct Case {
    const char* name;
    Json extra;
    bool refused;
  } cases[] = {
      {"iPhone app", {{"LSRequiresIPhoneOS", true}}, true},
      {"iPhone app, flag as text", {{"LSRequiresIPhoneOS", "1"}}, true},
      {"iPhone flag off", {{"LSRequiresIPhoneOS", false}}, false},
      {"company-internal app", {{"SensitiveCompanyInternalApp", 1}}, true},
      {"company-internal flag off", {{"SensitiveCompanyInternalApp", 0}}, false},
  };
  for (const auto& c : cases) {
    AppBundleWriter app;
    Json plist = {{"CFBundleIdentifier", "com.example.app"}};
    plist.update(c.extra);
    app.writeInfoPlist(plist, AppBundleWriter::Format::Binary);
    EXPECT_EQ(!InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), false, false), c.refused) << c.name;
  }
}

TEST(InfoPlistHelperTest, VersionKeysBecomeTextAndNulsAreRemoved) {
  AppBundleWriter app;
  app.writeFile("Contents/Resources/InfoPlist.strings",
                "\"NSHumanReadableCopyright\" = \"\\000(c) Maker\\000\";\n\"CFBundleGetInfoString\" = \"1.0\\0, Maker\";");
  app.writeInfoPlist({{"CFBundleIdentifier", "com.example.app"},
                      {"CFBundleVersion", 42},
                      {"CFBundleShortVersionString", 1.5},
                      {"LSMinimumSystemVersion", "10.9"},
                      {"CFBundleGetInfoString", {{"not", "text"}}}},
                     AppBundleWriter::Format::Binary);
  auto info = InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), false, false);
  ASSERT_TRUE(info);
  EXPECT_EQ((*info)["CFBundleVersion"], "42");
  EXPECT_EQ((*info)["CFBundleShortVersionString"], "1.5");
  EXPECT_EQ((*info)["LSMinimumSystemVersion"], "10.9");
  EXPECT_EQ((*info)["NSHumanReadableCopyright"], "(c) Maker");
  EXPECT_FALSE(info->contains("CFBundleGetInfoString"));  // a dictionary has no text
  EXPECT_EQ((*info)["CFBundleGetInfoString.override"], std::string("1.0\0, Maker", 11));
}

TEST(InfoPlistHelperTest, MinimumSystemPerArchitectureRaisesTheDeclaredOne) {
  struct Case {
    std::optional<std::string> declared;
    Json x86;
    std::optional<std::string> expected;
    bool logged;
  } cases[] = {
      {"10.9", "10.12", "10.12", true},
      {"10.9", "10.6", "10.9", false},
      {"10.12", "10.12.0", "10.12", false},
      {std::nullopt, "10.10", "10.10", true},
      {"10.9", 11, "11", true},
  };
  for (const auto& c : cases) {
    AppBundleWriter app;
    Json plist = {{"CFBundleIdentifier", "com.example.app"},
                  {"LSMinimumSystemVersionByArchitecture", {{"arm64", "11.0"}, {"x86_64", c.x86}}}};
    if (c.declared) plist["LSMinimumSystemVersion"] = *c.declared;
    app.writeInfoPlist(plist);
    ::testing::internal::CaptureStderr();
    auto info = InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), false, false);
    std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(info);
    auto it = info->find("LSMinimumSystemVersion");
    ASSERT_EQ(it != info->end(), c.expected.has_value()) << c.x86;
    if (c.expected) {
      EXPECT_EQ(*it, *c.expected) << c.x86;
    }
    EXPECT_EQ(log.find("Info: this app uses LSMinimumSystemVersionByArchitecture " + app.path()) != std::string::npos,
              c.logged)
        << log;
  }
}

TEST(InfoPlistHelperTest, RealMinimumSystemComesFromTheExecutableWhenNewer) {
  struct Case {
    const char* name;
    std::string executableName;
    std::string executableAt;  // inside the bundle; empty for none
    std::string executable;
    std::optional<std::string> declared;
    std::optional<std::string> expected;
  } cases[] = {
      {"executable newer", "Sample", "Contents/MacOS/Sample", executableWithMinimum(10, 13), "10.11", "10.13.0"},
      {"declared newer", "Sample", "Contents/MacOS/Sample", executableWithMinimum(10, 13), "10.14", "10.14"},
      {"nothing declared", "Sample", "Contents/MacOS/Sample", executableWithMinimum(10, 13), std::nullopt, "10.13.0"},
      {"name with MacOS/ prefix", "MacOS/Sample", "Contents/MacOS/Sample", executableWithMinimum(10, 15), "10.11",
       "10.15.0"},
      {"executable in Contents", "Tool", "Contents/Tool", executableWithMinimum(10, 12), "10.11", "10.12.0"},
      {"no executable", "Missing", "", "", "10.11", "10.11"},
      {"not Mach-O", "Sample", "Contents/MacOS/Sample", "#!/bin/sh\n", "10.11", "10.11"},
  };
  for (const auto& c : cases) {
    AppBundleWriter app;
    Json plist = {{"CFBundleExecutable", c.executableName}};
    if (c.declared) plist["LSMinimumSystemVersion"] = *c.declared;
    if (!c.executableAt.empty()) app.writeFile(c.executableAt, c.executable);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(InfoPlistHelper::getRealMinimumOSForApp(app.path(), plist), c.expected) << c.name;
    std::string log = ::testing::internal::GetCapturedStderr();
    if (c.expected && c.expected != c.declared) {
      EXPECT_NE(log.find("Info: this app uses LC_VERSION_MIN_MACOSX " + app.path() + ": "), std::string::npos) << log;
    }
    EXPECT_EQ(InfoPlistHelper::getRealExecutablePath(app.path(), plist).has_value(), !c.executableAt.empty()) << c.name;
  }
}

TEST(InfoPlistHelperTest, FixupTypesAppendTheirValue) {
  AppBundleWriter app;
  app.makeFolder("Contents/Resources/fr.lproj");
  app.makeFolder("Contents/Resources/de.lproj");
  app.makeFolder("Contents/Resources/Base.lproj");
  app.makeFolder("Contents/Resources/en.lproj");
  Json info = {{"CFBundleIdentifier", "com.example.app"},
               {"CFBundleName", "Pro"},
               {"CFBundleExecutable", "Exec"},
               {"CFBundleDevelopmentRegion", "English"},
               {"CFBundleIconFile", "App.icns"},
               {"CFBundleName.override", "Profi"},
               {"CFBundleSignature", "EXMP"},
               {"NSHumanReadableCopyright", "\xC2\xA9 2024 Example, Inc."},
               {"CFBundleDisplayName", "Example Pro"}};
  auto with = [&](Json extra) {
    Json copy = info;
    copy.update(extra);
    return copy;
  };
  struct Case {
    long long type;
    Json dictionary;
    std::optional<std::string> expected;
  } cases[] = {
      {0, info, "com.example.app"},
      {15, info, "com.example.app"},
      {2, info, "com.example.app.Exec"},
      {3, info, "com.example.app.Pro"},
      {3, with({{"CFBundleName", 7}}), "com.example.app.7"},
      {3, Json{{"CFBundleIdentifier", "com.example.app"}}, "com.example.app.(null)"},
      {4, info, "com.example.app.Pro.Exec"},
      {5, info, "com.example.app.Pro.Exec.(null)"},  // unsigned
      {6, info, "com.example.app.(null)"},
      {7, info, "com.example.app.English"},
      {8, info, "com.example.app.App.icns"},
      {9, info, "com.example.app.Profi"},
      {10, info, "com.example.app.EXMP"},
      {11, with({{"SUFeedURL", "https://example.com/updates/appcast-beta.xml"}}), "com.example.app.appcast-beta"},
      {11, with({{"SUFeedURL", "\"https://example.com/feed.rss\""}}), "com.example.app.feed"},
      {11, with({{"SUFeedURL", "feed://example.com/appcast.xml"}}), "com.example.app"},
      {11, info, "com.example.app"},
      {12, info, "com.example.app.ExampleInc"},
      {13, info, "com.example.app.Example Pro"},
      {14, info, "com.example.app.de.fr"},
      {3, Json{{"CFBundleName", "Pro"}}, "(null).Pro"},
      {0, Json{{"CFBundleName", "Pro"}}, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InfoPlistHelper::_fixedBundleIdentifier(c.dictionary, app.path(), c.type), c.expected)
        << "type " << c.type << " " << c.dictionary.dump();
}

TEST(InfoPlistHelperTest, CatalogDecidesWhetherTheIdentifierIsFixed) {
  AppBundleWriter app;
  app.writeInfoPlist({{"CFBundleIdentifier", "com.example.app"},
                      {"CFBundleName", "Pro"},
                      {"SUFeedURL", "https://example.com/appcast-beta.xml"}});
  FakeCatalog catalog;
  auto identifier = [&](bool fixup, const InfoPlistFixupSource* source) {
    auto info = InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), fixup, false, source);
    return info ? (*info)["CFBundleIdentifier"].get<std::string>() : "";
  };
  EXPECT_EQ(identifier(true, &catalog), "com.example.app");  // no record
  catalog.bundleIdentifierFixups["com.example.app"] = 3;
  EXPECT_EQ(identifier(true, &catalog), "com.example.app.Pro");
  EXPECT_EQ(identifier(false, &catalog), "com.example.app");
  EXPECT_EQ(identifier(true, nullptr), "com.example.app");
  catalog.bundleIdentifierFixups["com.example.app"] = "11";
  EXPECT_EQ(identifier(true, &catalog), "com.example.app.appcast-beta");

  // The catalog handed over at launch is the default.
  auto shared = std::make_shared<FakeCatalog>(catalog);
  InfoPlistHelper::setFixupSource(shared);
  auto info = InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), true, false);
  InfoPlistHelper::setFixupSource(nullptr);
  ASSERT_TRUE(info);
  EXPECT_EQ((*info)["CFBundleIdentifier"], "com.example.app.appcast-beta");
}

TEST(InfoPlistHelperTest, ProductRulesReadTheirEditionMarkers) {
  struct Case {
    const char* bid;
    Json info;
    std::function<void(const AppBundleWriter&)> prepare;
    std::string expected;
    std::string appName = "Sample.app";
  };
  auto none = [](const AppBundleWriter&) {};
  auto file = [](std::string relative, std::string bytes) {
    return [=](const AppBundleWriter& app) { app.writeFile(relative, bytes); };
  };
  auto inHome = [](std::string relative, std::string bytes) {
    return [=](const AppBundleWriter& app) { app.writeFile("../home/" + relative, bytes); };
  };
  std::vector<Case> cases = {
      {"com.google.Chrome", {{"KSChannelID", "beta"}}, none, "com.google.Chrome.beta"},
      {"com.google.Chrome", Json::object(), none, "com.google.Chrome.original"},
      {"com.google.GoogleDrive", {{"KSChannelID", ""}}, none, "com.google.GoogleDrive.unknown"},
      {"org.mozilla.firefox", {{"CFBundleName", "Firefox Nightly"}}, none, "org.mozilla.firefoxFirefox Nightly"},
      {"org.mozilla.firefox", {{"CFBundleName", "Firefox"}},
       file("Contents/Resources/update-settings.ini", "[Settings]\nACCEPTED_MAR_CHANNEL_IDS=firefox-mozilla-beta\n"),
       "org.mozilla.firefox.beta"},
      {"org.mozilla.firefox", {{"CFBundleName", "firefox"}},
       file("Contents/Resources/update-settings.ini", "ACCEPTED_MAR_CHANNEL_IDS=firefox-mozilla-esr\n"),
       "org.mozilla.firefox.esr"},
      {"org.mozilla.firefox", Json::object(), none, "org.mozilla.firefox.original"},
      {"org.mozilla.thunderbird", {{"CFBundleName", "Thunderbird"}},
       file("Contents/Resources/update-settings.ini", "ACCEPTED_MAR_CHANNEL_IDS=thunderbird-comm-beta\n"),
       "org.mozilla.thunderbird.beta"},
      {"org.eclipse.platform.ide", Json::object(),
       file("Contents/Eclipse/eclipse.ini", "-startup\r\n\r\n-product\r\norg.eclipse.epp.package.java.product\r\n"),
       "org.eclipse.platform.ide.org.eclipse.epp.package.java.product"},
      {"org.eclipse.platform.ide", Json::object(), file("Contents/Eclipse/eclipse.ini", "-product\nx\n"),
       "org.eclipse.platform.ide.unknown"},
      {"com.f-secure.fsmac.gui", {{"CFBundleName.override", "  F-Secure SAFE\n"}}, none,
       "com.f-secure.fsmac.gui.F-Secure SAFE"},
      {"com.postgresapp.Postgres2", Json::object(),
       [](const AppBundleWriter& app) {
         for (const char* v : {"9.6", "10", "11", "12"}) app.makeFolder(std::string("Contents/Versions/") + v);
       },
       "com.postgresapp.Postgres2.large"},
      {"com.postgresapp.Postgres2", Json::object(), none, "com.postgresapp.Postgres2.small"},
      {"com.paragon-software.ntfs.fsapp", Json::object(),
       file("Contents/MacOS/FSApp", std::string(3 << 20, 'x') + "Launched - NTFS for Mac 15" + std::string(1, '\0') + "tail"),
       "com.paragon-software.ntfs.fsapp.NTFS for Mac 15"},
      {"com.paragon-software.ntfs.fsapp", Json::object(), file("Contents/MacOS/FSApp", "nothing"),
       "com.paragon-software.ntfs.fsapp"},
      {"com.ACDSystems.ACDSeePhotoStudio.Ultimate", {{"ProductID", "PSU"}}, none,
       "com.ACDSystems.ACDSeePhotoStudio.Ultimate.PSU"},
      {"com.vmware.fusion", {{"CFBundleShortVersionString", "e.x.p 2023"}}, none, "com.vmware.fusion.techpreview"},
      {"libretro.RetroArch", Json::object(), file("Contents/Resources/default.metallib", "m"),
       "libretro.RetroArch.metal"},
      {"com.hexrays.ida64", Json::object(), file("Contents/MacOS/license.txt", "IDA FREEWARE licence"),
       "com.hexrays.ida64.free"},
      {"com.cryptic-apps.hopper-web-4", {{"CFBundleShortVersionString", "5.3.1-demo"}}, none,
       "com.cryptic-apps.hopper-web-4.demo"},
      {"com.ableton.live", Json::object(), file("Contents/Resources/Installation.cfg", "{\"variant\": \"Suite\"}"),
       "com.ableton.live.Suite"},
      {"net.maxon.cinema4d", {{"CFBundleExecutable", "CINEMA 4D Demo"}}, none,
       "net.maxon.cinema4d.CINEMA 4D Demo.CINEBENCH", "CINEBENCH R20.app"},
      {"net.maxon.cinema4d", {{"CFBundleExecutable", "Cinema 4D"}}, none, "net.maxon.cinema4d.Cinema 4D"},
      {"com.blizzard.worldofwarcraft", {{"CFBundleShortVersionString", "1.13.2 (31650)"}}, none,
       "com.blizzard.worldofwarcraft.classic"},
      {"com.blizzard.worldofwarcraft", {{"CFBundleShortVersionString", "9.0.2 (36753)"}}, none,
       "com.blizzard.worldofwarcraft.original"},
      {"com.synology.CloudStation", {{"CFBundleVersion", "10020"}}, none, "com.synology.CloudStation.new"},
      {"ru.yandex.desktop.yandex-browser", {{"CFBundleShortVersionString", "31.2.0"}}, none,
       "ru.yandex.desktop.yandex-browser.old"},
      {"com.jetbrains.pycharm.ce", {{"CFBundleVersion", "PC-223.8617.48"}}, none, "com.jetbrains.pycharm.ce.PC"},
      {"org.neooffice.NeoOffice", {{"CFBundleGetInfoString", "NeoOffice Viewer 2017"}}, none,
       "org.neooffice.NeoOffice.Viewer"},
      {"com.install4j.1106-5897-7327-6550.5", Json::object(),
       file("Contents/Resources/app/resources/community.txt", ""), "com.install4j.1106-5897-7327-6550.5.ce"},
      {"com.qiuyuzhou.ShadowsocksX-NG", {{"CFBundleShortVersionString", "1.9.4-R8"}}, none,
       "com.qiuyuzhou.ShadowsocksX-NG.r"},
      {"com.qiuyuzhou.ShadowsocksX-NG", {{"CFBundleShortVersionString", "1.10.2"}}, none,
       "com.qiuyuzhou.ShadowsocksX-NG.original"},
      {"com.qiuyuzhou.ShadowsocksX-NG.beta", {{"CFBundleShortVersionString", "1.9.4-R8"}}, none,
       "com.qiuyuzhou.ShadowsocksX-NG.beta"},  // whole identifiers only
      {"com.prect.NavicatPremium", Json::object(),
       [](const AppBundleWriter& app) {
         app.makeFolder("Contents/Resources/ja.lproj");
         app.makeFolder("Contents/Resources/de.lproj");
       },
       "com.prect.NavicatPremium.ja"},
      {"com.prect.NavicatPremium", Json::object(), none, "com.prect.NavicatPremium.en"},
      {"com.graphisoft.ARCHICAD25", {{"CFBundleShortVersionString", "25.0.0 Build 3001 (5003)"}}, none,
       "com.graphisoft.ARCHICAD25.3001"},
      {"com.adobe.director.projector", {{"CFBundleName", "Game"}, {"CFBundleExecutable", "Projector"}}, none,
       "com.adobe.director.projector.Game.Projector.(null)"},
      {"com.mortenjust.flotato", Json::object(), file("Icon\r", ""), "com.mortenjust.flotato.ignored"},
      {"com.mortenjust.flotato", Json::object(), none, "com.mortenjust.flotato.original"},
      {"com.couchbase.couchbase-server", Json::object(),
       file("Contents/Resources/couchbase-core/etc/runtime.ini", "license=enterprise\n"),
       "com.couchbase.couchbase-server.enterprise"},
      {"com.install4j.5889-6375-8446-2021.22", {{"CFBundleShortVersionString", "2023.1 latest"}}, none,
       "com.install4j.5889-6375-8446-2021.22.latest"},
      {"com.valvesoftware.steam", Json::object(),
       inHome("Library/Application Support/Steam/Steam.AppBundle/Steam/Contents/MacOS/package/steam_client_osx.manifest",
              "\"osx\"\n{\n\t\"version\"\t\t\"1679680416\"\n}\n"),
       "com.valvesoftware.steam.synthesized"},
      {"com.valvesoftware.steam", Json::object(), none, "com.valvesoftware.steam.original"},
      {"com.backup42.desktop", {{"CFBundleName", "Code42 CrashPlan"}},
       [](const AppBundleWriter& app) {
         app.writeFile("../home/Library/Application Support/CrashPlan/conf/my.service.xml",
                       "<config><orgType>BUSINESS</orgType></config>");
         app.writeFile("../home/Library/Application Support/CrashPlan/vars.sh", "SET PRODUCT_CLASS=CPP\nOTHER=1\n");
       },
       "com.backup42.desktop.Code42 CrashPlan.BUSINESS.CPP"},
      {"com.bskyb.skygoplayer", {{"CFBundleExecutable", "Sky Go"}},
       file("Contents/MacOS/Sky Go", signedExecutable("Sky UK Limited")), "com.bskyb.skygoplayer.Sky UK Limited"},
      {"com.bskyb.skygoplayer", Json::object(), none, "com.bskyb.skygoplayer.unknown"},
      {"com.example.unlisted", Json::object(), none, "com.example.unlisted"},
  };
  for (const auto& c : cases) {
    AppBundleWriter app(c.appName);
    ScopedHome home(app.scratch() + "/home");
    c.prepare(app);
    Json info = c.info;
    info["CFBundleIdentifier"] = c.bid;
    EXPECT_EQ(InfoPlistHelper::_fixedBundleIdentifier(info, app.path(), 1), c.expected) << c.bid << " " << c.info.dump();
  }
}

TEST(InfoPlistHelperTest, SignerIsReadFromTheExecutablesLastBytes) {
  struct Case {
    const char* name;
    std::string executable;
    std::optional<std::string> expected;
  } cases[] = {
      {"signed", signedExecutable("Jane Doe"), "Developer ID Application: Jane Doe (ABCDE12345)"},
      {"subject too close to the end", signedExecutable("Jane Doe").substr(0, 20000 - 260), std::nullopt},
      {"executable too short", signedExecutable("Jane Doe", 17000), std::nullopt},
      {"name too long for the window", signedExecutable(std::string(120, 'n')), std::nullopt},
      {"no certificate", executableWithMinimum(10, 13) + std::string(20000, '\0'), std::nullopt},
  };
  for (const auto& c : cases) {
    AppBundleWriter app;
    app.writeFile("Contents/MacOS/Sample", c.executable);
    Json info = {{"CFBundleIdentifier", "com.example.app"}, {"CFBundleExecutable", "Sample"}};
    EXPECT_EQ(InfoPlistHelper::getCodesignSignature(app.path(), info), c.expected) << c.name;
    if (c.expected) {
      EXPECT_EQ(InfoPlistHelper::_fixedBundleIdentifier(info, app.path(), 6), "com.example.app.Jane Doe");
      info["CFBundleName"] = "Pro";
      EXPECT_EQ(InfoPlistHelper::_fixedBundleIdentifier(info, app.path(), 5), "com.example.app.Pro.Sample.Jane Doe");
    }
  }
}

TEST(InfoPlistHelperTest, UnusableInfoPlistsGiveNothing) {
  {
    AppBundleWriter app;
    app.makeFolder("Contents/Info.plist");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), true, false));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "Info: can not scan the app because it does not have a valid info.plist file " + app.path()),
              std::string::npos);
  }
  {
    AppBundleWriter app;
    std::string cycle = std::string("bplist00\xA1\x00", 10) + std::string("\x00\x00\x00\x08", 4) +
                        std::string("\x00\x00\x00\x00\x00\x00\x04\x01", 8) + std::string("\x00\x00\x00\x00\x00\x00\x00\x01", 8) +
                        std::string(8, '\0') + std::string("\x00\x00\x00\x00\x00\x00\x00\x0a", 8);
    app.writeFile("Contents/Info.plist", cycle);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), true, false));
    ::testing::internal::GetCapturedStderr();
  }
  {
    AppBundleWriter app;  // no Info.plist at all: nothing, and no log line
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), true, false));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
  {
    AppBundleWriter app;  // an array instead of a dictionary
    app.writeFile("Contents/Info.plist", "<plist version=\"1.0\"><array><string>x</string></array></plist>");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), true, false));
    ::testing::internal::GetCapturedStderr();
  }
}

TEST(InfoPlistHelperTest, FifosAndDevicesInsideTheBundleAreNotRead) {
  // An archive can carry a FIFO or a link to a device: reading either would block or
  // never end.
  AppBundleWriter app;
  ASSERT_EQ(::mkfifo((app.path() + "/Contents/Info.plist").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (app.path() + "/Contents/MacOS/FSApp").c_str()), 0);
  ASSERT_EQ(::mkfifo((app.path() + "/Contents/Resources/update-settings.ini").c_str(), 0600), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), true, false));
  ::testing::internal::GetCapturedStderr();

  Json info = {{"CFBundleIdentifier", "com.paragon-software.ntfs.fsapp"},
               {"CFBundleExecutable", "FSApp"},
               {"LSMinimumSystemVersion", "10.12"}};
  EXPECT_EQ(InfoPlistHelper::_fixedBundleIdentifier(info, app.path(), 1), "com.paragon-software.ntfs.fsapp");
  EXPECT_EQ(InfoPlistHelper::getCodesignSignature(app.path(), info), std::nullopt);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(InfoPlistHelper::getRealMinimumOSForApp(app.path(), info), "10.12");
  ::testing::internal::GetCapturedStdout();
  info["CFBundleIdentifier"] = "org.mozilla.firefox";
  EXPECT_EQ(InfoPlistHelper::_fixedBundleIdentifier(info, app.path(), 1), "org.mozilla.firefox.original");
}

TEST(InfoPlistHelperTest, UTF16InfoPlistIsReadThroughATemporaryCopy) {
  AppBundleWriter app;
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist version=\"1.0\"><dict>"
      "<key>CFBundleIdentifier</key><string>com.example.wide</string>"
      "<key>CFBundleShortVersionString</key><string>2.0</string></dict></plist>\n";
  app.writeFile("Contents/Info.plist", AppBundleWriter::utf16(xml, false, true));
  auto info = InfoPlistHelper::dictionaryWithInfoPlistOfApp(app.path(), false, false);
  ASSERT_TRUE(info);
  EXPECT_EQ((*info)["CFBundleIdentifier"], "com.example.wide");
  EXPECT_EQ((*info)["CFBundleShortVersionString"], "2.0");
}

}  // namespace
}  // namespace vantor
