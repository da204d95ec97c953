// vantor-inspect archive FILE [--json]: extracts a copy of FILE the way the helper would
// and shows the extractor chosen and the error or the destination's top level.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "Subcommand.h"
#include "foundation/FileHelpers.h"
#include "foundation/Json.h"
#include "foundation/StringHelpers.h"
#include "install/ZRSUUnarchiver.h"

namespace vantor::inspect {
namespace {

namespace fs = std::filesystem;

std::string errorMessage(const Error& error) {
  if (auto it = error.userInfo.find(kLocalizedDescriptionKey); it != error.userInfo.end() && it->is_string())
    return it->get<std::string>();
  if (auto it = error.userInfo.find("error"); it != error.userInfo.end() && it->is_string())
    return it->get<std::string>();
  return error.description();
}

Json topLevel(const std::string& folder) {
  Json entries = Json::array();
  std::vector<fs::directory_entry> items;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) items.push_back(*it);
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  for (const auto& item : items) {
    Json entry{{"name", item.path().filename().string()}};
    if (item.is_symlink(ec)) {
      entry["type"] = "link";
      entry["target"] = fs::read_symlink(item.path(), ec).string();
    } else {
      entry["type"] = item.is_directory(ec) ? "directory" : "file";
    }
    entries.push_back(entry);
  }
  return entries;
}

void printText(const Json& report) {
  std::printf("file: %s\n", report["file"].get<std::string>().c_str());
  std::printf("extractor: %s\n", report["extractor"].is_null() ? "(none)" : report["extractor"].get<std::string>().c_str());
  if (!report["destination"].is_null()) std::printf("destination: %s\n", report["destination"].get<std::string>().c_str());
  if (!report["error"].is_null()) {
    const Json& error = report["error"];
    std::printf("error: %s %ld: %s\n", error["domain"].get<std::string>().c_str(), error["code"].get<long>(),
                error["message"].get<std::string>().c_str());
    return;
  }
  std::printf("entries:\n");
  for (const auto& entry : report["entries"]) {
    std::string name = entry["name"];
    if (entry["type"] == "directory") name += "/";
    if (entry["type"] == "link") name += " -> " + entry["target"].get<std::string>();
    std::printf("  %s\n", name.c_str());
  }
}

int runArchive(const std::vector<std::string>& arguments) {
  std::optional<std::string> file;
  bool json = false;
  for (const auto& argument : arguments) {
    if (argument == "--json") json = true;
    else if (!argument.empty() && argument.front() == '-') return usage("archive: unknown option '" + argument + "'");
    else if (!file) file = argument;
    else return usage("archive: more than one file given");
  }
  if (!file) return usage("archive: no file given");
  struct stat st {};
  if (::stat(file->c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return usage("archive: '" + *file + "' is not a readable file");

  auto folder = makeTempDirectory();
  if (!folder) {
    std::fprintf(stderr, "vantor-inspect: cannot create a temporary folder\n");
    return kExitRefused;
  }
  const std::string copy = stringByAppendingPathComponent(*folder, lastPathComponent(*file));
  std::error_code ec;
  fs::copy_file(*file, copy, ec);
  if (ec) {
    removeItem(*folder);
    std::fprintf(stderr, "vantor-inspect: cannot copy '%s': %s\n", file->c_str(), ec.message().c_str());
    return kExitRefused;
  }

  Json report{{"file", *file}, {"extractor", nullptr}, {"destination", nullptr}, {"error", nullptr}};
  auto unarchiver = ZRSUUnarchiver::unarchiverForPath(copy, std::nullopt, std::nullopt);
  std::optional<Error> error;
  if (!unarchiver) {
    error = Error("vantor-inspect", 1, Json{{kLocalizedDescriptionKey, "no extractor for this file name"}});
  } else {
    report["extractor"] = splitBeforeFull(unarchiver->description(), " ");
    const std::string destination = ZRSUUnarchiverProtocol::destinationFolder(copy);
    report["destination"] = lastPathComponent(destination);
    error = unarchiver->unarchive();
    if (!error) report["entries"] = topLevel(destination);
  }
  if (error)
    report["error"] = Json{{"domain", error->domain}, {"code", error->code}, {"message", errorMessage(*error)},
                           {"userInfo", error->userInfo}};
  removeItem(*folder);

  if (json) std::printf("%s\n", report.dump(2).c_str());
  else printText(report);
  return error ? kExitRefused : kExitSuccess;
}

const bool registered = registerInspectCommand(
    {"archive", "FILE [--json]",
     "extracts a copy of FILE as the helper would; prints the extractor, then the error or the top level",
     runArchive});

}  // namespace
}  // namespace vantor::inspect
