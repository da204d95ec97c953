// The bundle-identifier fixups of InfoPlistHelper: a suffix that tells apart editions of
// one product that share an identifier.

#include <algorithm>
#include <fstream>
#include <functional>

#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/StringHelpers.h"
#include "install/InfoPlistHelper.h"
#include "install/InfoPlistValues.h"

namespace vantor {
namespace {

using detail::stringForKey;
using detail::textOfFile;
using detail::valueForKey;

constexpr std::string_view kSignerMarker = "Developer ID Application: ";

long long leadingInteger(const std::optional<std::string>& text) {
  return text ? std::strtoll(text->c_str(), nullptr, 10) : 0;
}

bool nonEmpty(const std::optional<std::string>& text) { return text && !text->empty(); }

bool textContains(const std::optional<std::string>& text, std::string_view search) {
  return text && contains(*text, search);
}

// The signer's name: what follows the marker up to " (", trimmed; nothing without marker.
std::optional<std::string> signerName(const std::optional<std::string>& signer) {
  if (!signer) return std::nullopt;
  auto after = splitAfterNull(*signer, kSignerMarker);
  if (!after) return std::nullopt;
  return trimmedOfWhitespaceAndNewlines(splitBeforeFull(*after, " ("));
}

// Up to 63 bytes after the first "Launched - " in the file, cut at a zero byte; read in
// pieces, as the file is a whole executable.
std::optional<std::string> textAfterMarkerInFile(const std::string& path, std::string_view marker) {
  constexpr size_t kFollowing = 63;
  constexpr size_t kChunk = 1 << 20;
  if (!detail::isRegularFile(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string buffer;
  std::string chunk(kChunk, '\0');
  size_t searchFrom = 0;
  std::optional<size_t> found;
  for (;;) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    size_t got = static_cast<size_t>(in.gcount());
    buffer.append(chunk.data(), got);
    if (!found) {
      size_t pos = buffer.find(marker, searchFrom);
      if (pos != std::string::npos) found = pos;
    }
    if (found && buffer.size() >= *found + marker.size() + kFollowing) break;
    if (got == 0) break;
    if (!found && buffer.size() > marker.size()) {
      // Keep only a tail that could still hold the start of the marker.
      buffer.erase(0, buffer.size() - (marker.size() - 1));
      searchFrom = 0;
    }
  }
  if (!found) return std::nullopt;
  std::string text = buffer.substr(*found + marker.size(), kFollowing);
  text = text.substr(0, text.find('\0'));
  if (!isValidUTF8(text)) return std::nullopt;
  return text;
}

struct RuleContext {
  const std::string& bid;
  const Json& info;
  const std::string& appPath;

  std::optional<std::string> text(std::string_view key) const { return stringForKey(info, key); }
  std::optional<Json> value(std::string_view key) const { return valueForKey(info, key); }
  std::string inApp(std::string_view relative) const { return appPath + std::string(relative); }
  std::string plus(std::string_view suffix) const { return bid + std::string(suffix); }
  template <class T>
  std::string dot(const T& value) const { return bid + makeString(".%@", value); }
};

// Firefox and Thunderbird: a renamed app carries its name, else the update channel.
std::string mozillaEdition(const RuleContext& c, std::string_view product, std::string_view betaChannel) {
  auto name = c.text("CFBundleName");
  if (nonEmpty(name) && lowercased(*name) != product) return c.bid + *name;
  auto settings = textOfFile(c.inApp("/Contents/Resources/update-settings.ini"));
  if (textContains(settings, betaChannel)) return c.plus(".beta");
  if (textContains(settings, "-esr")) return c.plus(".esr");
  return c.plus(".original");
}

std::string firstNonEmptyOrUnknown(const RuleContext& c, const std::vector<std::optional<std::string>>& candidates) {
  for (const auto& candidate : candidates) {
    if (!candidate) continue;
    std::string trimmed = trimmedOfWhitespaceAndNewlines(*candidate);
    if (!trimmed.empty()) return c.dot(trimmed);
  }
  return c.plus(".unknown");
}

// The text after key up to the next line feed in the file; empty when missing.
std::string lineValueInFile(const std::string& path, std::string_view key) {
  auto text = textOfFile(path);
  if (!text) return "";
  auto after = splitAfterNull(*text, key);
  return after ? splitBeforeFull(*after, "\n") : "";
}

std::string tagValueInFile(const std::string& path, std::string_view open, std::string_view close) {
  auto text = textOfFile(path);
  if (!text) return "";
  return between(*text, open, close).value_or("");
}

enum class Match { Whole, Prefix, LowercasePrefix };

struct Rule {
  const char* key;
  Match match;
  std::function<std::string(const RuleContext&)> apply;
};

const std::vector<Rule>& productRules() {
  static const std::vector<Rule> rules = {
      {"com.valvesoftware.steam", Match::Whole,
       [](const RuleContext& c) {
         auto manifest = textOfFile(
             expanded("~/Library/Application Support/Steam/Steam.AppBundle/Steam/Contents/MacOS/package/"
                      "steam_client_osx.manifest"));
         long long version = 0;
         if (manifest) {
           for (const auto& line : lines(*manifest)) {
             if (!contains(line, "\"version\"")) continue;
             version = leadingInteger(trimmedOfWhitespaceAndNewlines(removed(removed(line, "\"version\""), "\"")));
             break;
           }
         }
         return c.plus(version < 100000 ? ".original" : ".synthesized");
       }},
      {"com.google.Chrome", Match::Whole,
       [](const RuleContext& c) {
         auto channel = c.text("KSChannelID");
         return nonEmpty(channel) ? c.dot(*channel) : c.plus(".original");
       }},
      {"org.mozilla.firefox", Match::Whole,
       [](const RuleContext& c) { return mozillaEdition(c, "firefox", "firefox-mozilla-beta"); }},
      {"com.google.GoogleDrive", Match::Whole,
       [](const RuleContext& c) {
         auto channel = c.text("KSChannelID");
         return nonEmpty(channel) ? c.dot(*channel) : c.plus(".unknown");
       }},
      {"org.eclipse.platform.ide", Match::Whole,
       [](const RuleContext& c) {
         std::vector<std::string> ini;
         if (auto text = textOfFile(c.inApp("/Contents/Eclipse/eclipse.ini")))
           for (auto& line : lines(*text))
             if (!line.empty()) ini.push_back(std::move(line));
         auto last = std::find(ini.rbegin(), ini.rend(), "-product");
         if (last != ini.rend()) {
           size_t index = static_cast<size_t>(ini.rend() - last) - 1;
           if (index != 0 && index + 1 < ini.size()) return c.dot(ini[index + 1]);
         }
         return c.plus(".unknown");
       }},
      {"com.f-secure.fsmac.gui", Match::Whole,
       [](const RuleContext& c) {
         return firstNonEmptyOrUnknown(
             c, {textOfFile("/Library/F-Secure/fsmac/config/operator_name"),
                 tagValueInFile("/Library/F-Secure/fsmac/gui/available_languages.xml", "<bundlename>", "</bundlename>"),
                 c.text(makeString("%@.override", "CFBundleName"))});
       }},
      {"com.postgresapp.Postgres2", Match::Whole,
       [](const RuleContext& c) {
         auto versions = directoryContents(c.inApp("/Contents/Versions/"));
         return c.plus((versions ? versions->size() : 0) < 4 ? ".small" : ".large");
       }},
      {"com.paragon-software.ntfs.fsapp", Match::Whole,
       [](const RuleContext& c) {
         auto text = textAfterMarkerInFile(c.inApp("/Contents/MacOS/FSApp"), "Launched - ");
         return nonEmpty(text) ? c.dot(*text) : c.bid;
       }},
      {"com.ACDSystems.ACDSeePhotoStudio", Match::Prefix,
       [](const RuleContext& c) {
         auto product = c.text("ProductID");
         return nonEmpty(product) ? c.dot(*product) : c.plus(".unknown");
       }},
      {"com.vmware.fusion", Match::Whole,
       [](const RuleContext& c) {
         return c.plus(textContains(c.text("CFBundleShortVersionString"), "e.x.p") ? ".techpreview" : ".original");
       }},
      {"libretro.RetroArch", Match::Whole,
       [](const RuleContext& c) {
         bool metal = fileExists(c.inApp("/Contents/Resources/en.lproj/MainMenu_Metal.nib")) ||
                      fileExists(c.inApp("/Contents/Resources/default.metallib"));
         return c.plus(metal ? ".metal" : ".original");
       }},
      {"com.hexrays.ida64", Match::Whole,
       [](const RuleContext& c) {
         auto license = textOfFile(c.inApp("/Contents/MacOS/license.txt"));
         return c.plus(license && contains(lowercased(*license), "free") ? ".free" : ".full");
       }},
      {"com.cryptic-apps.hopper-web-", Match::Prefix,
       [](const RuleContext& c) {
         auto version = c.text("CFBundleShortVersionString");
         return c.plus(version && hasSuffix(*version, "-demo") ? ".demo" : ".full");
       }},
      {"com.ableton.live", Match::Whole,
       [](const RuleContext& c) {
         std::string path = c.inApp("/Contents/MacOS/Installation.cfg");
         if (!fileExists(path)) path = c.inApp("/Contents/Resources/Installation.cfg");
         std::optional<Json> variant;
         if (auto text = textOfFile(path))
           if (auto object = JSONDictionary(*text)) variant = valueForKey(*object, "variant");
         return c.dot(variant);
       }},
      {"net.maxon.cinema4d", Match::Whole,
       [](const RuleContext& c) {
         std::string result = c.dot(c.value("CFBundleExecutable"));
         if (result == "net.maxon.cinema4d.CINEMA 4D Demo" && contains(lastPathComponent(c.appPath), "CINEBENCH"))
           result += ".CINEBENCH";
         return result;
       }},
      {"com.blizzard.worldofwarcraft", Match::Whole,
       [](const RuleContext& c) {
         auto version = c.text("CFBundleShortVersionString");
         std::optional<std::string> release;
         if (version) release = splitBeforeFull(*version, " ");
         return c.plus(detail::compareVersions(release, std::string("2.0.0")) == 1 ? ".original" : ".classic");
       }},
      {"com.synology.CloudStation", Match::Whole,
       [](const RuleContext& c) { return c.plus(leadingInteger(c.text("CFBundleVersion")) > 9999 ? ".new" : ".old"); }},
      {"ru.yandex.desktop.yandex-browser", Match::Whole,
       [](const RuleContext& c) {
         auto version = c.text("CFBundleShortVersionString");
         std::optional<std::string> major;
         if (version) major = split(*version, ".").front();
         return c.plus(leadingInteger(major) < 31 ? ".new" : ".old");
       }},
      {"org.mozilla.thunderbird", Match::Whole,
       [](const RuleContext& c) { return mozillaEdition(c, "thunderbird", "thunderbird-comm-beta"); }},
      {"com.bskyb.skygoplayer", Match::Whole,
       [](const RuleContext& c) {
         auto signer = InfoPlistHelper::getCodesignSignature(c.appPath, c.info);
         if (textContains(signer, kSignerMarker)) return c.dot(signerName(signer));
         return c.plus(".unknown");
       }},
      {"com.jetbrains.pycharm", Match::Prefix,
       [](const RuleContext& c) {
         auto version = c.text("CFBundleVersion");
         std::optional<std::string> build;
         if (version) build = splitBeforeFull(*version, "-");
         return c.dot(build);
       }},
      {"org.neooffice.", Match::Prefix,
       [](const RuleContext& c) {
         return c.plus(textContains(c.text("CFBundleGetInfoString"), "Viewer") ? ".Viewer" : ".original");
       }},
      {"com.install4j.1106-5897-7327-6550.5", Match::Whole,
       [](const RuleContext& c) {
         return c.plus(fileExists(c.inApp("/Contents/Resources/app/resources/community.txt")) ? ".ce" : ".full");
       }},
      {"com.qiuyuzhou.ShadowsocksX-NG", Match::Whole,
       [](const RuleContext& c) {
         auto version = c.text("CFBundleShortVersionString");
         return c.plus(version && contains(lowercased(*version), "r") ? ".r" : ".original");
       }},
      {"com.prect.Navicat", Match::Prefix,
       [](const RuleContext& c) {
         std::optional<std::string> language;
         for (const char* code : {"fr", "de", "ja", "es"})
           if (fileIsDirectory(c.inApp(makeString("/Contents/Resources/%@.lproj/", code)))) language = code;
         return language ? c.dot(*language) : c.plus(".en");
       }},
      {"com.graphisoft.archicad", Match::LowercasePrefix,
       [](const RuleContext& c) {
         auto version = c.text("CFBundleShortVersionString");
         std::optional<std::string> word;
         if (version) word = split(splitBeforeFull(*version, " ("), " ").back();
         return c.dot(word);
       }},
      {"com.adobe.director", Match::Prefix,
       [](const RuleContext& c) {
         return c.bid + makeString(".%@.%@.%@", c.value("CFBundleName"), c.value("CFBundleExecutable"),
                                   c.value("ProjectorINIFile"));
       }},
      {"com.mortenjust.flotato", Match::Whole,
       [](const RuleContext& c) {
         auto entries = directoryContents(c.appPath);
         bool icon = entries && std::any_of(entries->begin(), entries->end(),
                                            [](const std::string& name) { return contains(name, "Icon"); });
         return c.plus(icon ? ".ignored" : ".original");
       }},
      {"com.couchbase.couchbase-server", Match::Whole,
       [](const RuleContext& c) {
         auto runtime = textOfFile(c.inApp("/Contents/Resources/couchbase-core/etc/runtime.ini"));
         if (textContains(runtime, "community")) return c.plus(".community");
         if (textContains(runtime, "enterprise")) return c.plus(".enterprise");
         return c.plus(".unknown");
       }},
      {"com.install4j.5889-6375-8446-2021.22", Match::Whole,
       [](const RuleContext& c) {
         auto version = c.text("CFBundleShortVersionString");
         for (const char* channel : {"beta", "latest", "stable"})
           if (textContains(version, channel)) return c.plus(makeString(".%@", channel));
         return c.plus(".unknown");
       }},
      {"com.backup42.desktop", Match::Whole,
       [](const RuleContext& c) {
         std::string result = c.dot(c.value("CFBundleName"));
         if (result != "com.backup42.desktop.Code42 CrashPlan") return result;
         const std::string conf = "Library/Application Support/CrashPlan/conf/my.service.xml";
         const std::string vars = "Library/Application Support/CrashPlan/vars.sh";
         std::string orgType = tagValueInFile("/" + conf, "<orgType>", "</orgType>");
         if (auto own = tagValueInFile(expanded("~/" + conf), "<orgType>", "</orgType>"); !own.empty()) orgType = own;
         std::string productClass = lineValueInFile("/" + vars, "SET PRODUCT_CLASS=");
         if (auto own = lineValueInFile(expanded("~/" + vars), "SET PRODUCT_CLASS="); !own.empty()) productClass = own;
         return result + makeString(".%@.%@", orgType, productClass);
       }},
  };
  return rules;
}

bool matches(const Rule& rule, const std::string& bid) {
  switch (rule.match) {
    case Match::Whole: return bid == rule.key;
    case Match::Prefix: return hasPrefix(bid, rule.key);
    case Match::LowercasePrefix: return hasPrefix(lowercased(bid), rule.key);
  }
  return false;
}

}  // namespace

std::optional<std::string> InfoPlistHelper::_fixedBundleIdentifier(const Json& dictionary, const std::string& appPath,
                                                                   long long fixupType) {
  auto bidValue = valueForKey(dictionary, "CFBundleIdentifier");
  auto bid = detail::stringValue(bidValue);
  if (fixupType < 1 || fixupType > 14) return bid;

  // Absent values print as "(null)", as the format has always done.
  std::string base = makeString("%@", bidValue);
  auto value = [&](std::string_view key) { return valueForKey(dictionary, key); };
  auto signer = [&] { return signerName(getCodesignSignature(appPath, dictionary)); };
  switch (fixupType) {
    case 1: {
      if (!bidValue || !bidValue->is_string()) return bid;
      for (const auto& rule : productRules())
        if (matches(rule, *bid)) return rule.apply(RuleContext{*bid, dictionary, appPath});
      return bid;
    }
    case 2: return base + makeString(".%@", value("CFBundleExecutable"));
    case 3: return base + makeString(".%@", value("CFBundleName"));
    case 4: return base + makeString(".%@.%@", value("CFBundleName"), value("CFBundleExecutable"));
    case 5: return base + makeString(".%@.%@.%@", value("CFBundleName"), value("CFBundleExecutable"), signer());
    case 6: return base + makeString(".%@", signer());
    case 7: return base + makeString(".%@", value("CFBundleDevelopmentRegion"));
    case 8: return base + makeString(".%@", value("CFBundleIconFile"));
    case 9: return base + makeString(".%@", value(makeString("%@.override", "CFBundleName")));
    case 10: return base + makeString(".%@", value("CFBundleSignature"));
    case 11: {
      auto feed = value("SUFeedURL");
      if (!feed || !feed->is_string()) return bid;
      std::string url = removed(feed->get<std::string>(), "\"");
      if (!hasPrefix(url, "http")) return bid;
      return base + makeString(".%@", stringByDeletingPathExtension(lastPathComponent(url)));
    }
    case 12: {
      auto copyright = detail::stringValue(value("NSHumanReadableCopyright"));
      std::optional<std::string> letters;
      if (copyright) {
        letters.emplace();
        for (char ch : *copyright)
          if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) *letters += ch;
      }
      return base + makeString(".%@", letters);
    }
    case 13: return base + makeString(".%@", value("CFBundleDisplayName"));
    case 14: {
      std::vector<std::string> languages;
      if (auto entries = directoryContents(appPath + "/Contents/Resources/"))
        for (const auto& name : *entries)
          if (hasSuffix(name, ".lproj") && name != "Base.lproj" && name != "en.lproj" && name != "English.lproj")
            languages.push_back(name.substr(0, name.size() - 6));
      std::sort(languages.begin(), languages.end());
      std::string joined;
      for (size_t i = 0; i < languages.size(); ++i) joined += (i > 0 ? "." : "") + languages[i];
      return base + makeString(".%@", joined);
    }
  }
  return bid;
}

}  // namespace vantor
