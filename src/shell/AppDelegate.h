#pragma once
// The application delegate: the one object that owns the helper's life. It runs the
// launch sequence, takes links (from the command line, or from a second launch through
// the single-instance channel) and hands them to request resolution on the main thread.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Bytes.h"
#include "foundation/Error.h"
#include "foundation/Json.h"
#include "install/AbortAppInfos.h"

namespace vantor {

class ConfigFile;

class AppDelegate {
 public:
  // Links longer than this are refused (a bundle identifier is a few dozen characters).
  static constexpr std::size_t kMaxLinkBytes = 64 * 1024;
  static constexpr const char* kTestLink = "vantor://tesselURLtest";

  // The stand-in for the application framework's main function: runs the helper with
  // the process's arguments and returns its exit status.
  static int applicationMain(const std::vector<std::string>& arguments);

  // Registers the defaults table ("InstallationDirectory" = "/Applications/").
  static void initialize();
  // The delegate that ran the launch sequence; null before launch.
  static AppDelegate* sharedInstance();

  // The launch sequence, in order: "--quitAfterLaunch", character sets, shared delegate,
  // context object, progress observer, link intake.
  void applicationWillFinishLaunching(const std::vector<std::string>& arguments);
  void applicationDidFinishLaunching() {}

  // Link intake: the test link quits; any other link goes to handleURL.
  void handleURLEvent(const std::optional<std::string>& link);
  // Request resolution (main thread).
  void handleURL(const std::optional<std::string>& link);

  // Normal termination: the main loop ends and the process exits with status 0.
  void terminate();

  // The install run of a confirmed request (main thread): shows the progress window, runs
  // the install pipeline and the icon download on the background queue, then shows the
  // result dialog and terminates. name is absent when nothing gave one.
  void installBID(const std::string& bundleIdentifier, const std::optional<std::string>& name);
  // The result step (main thread): one dialog for the outcome, the reveal of the installed
  // app when asked for, then termination.
  void installFinished(const std::optional<Error>& error, const std::optional<std::string>& name,
                       const std::optional<std::string>& finalPath);
  // The user message of each install error code that has one; codes 17 and 31 have none.
  static std::map<long, std::string> istallErrorMessageDictionary();
  // The folder panel (main thread); a confirmed folder becomes "InstallationDirectory".
  static void setInstallDir();
  static bool containsChooseInstallDir(const std::vector<std::string>& arguments);

  // How the install task runs the pipeline; nothing means AppInstallHelper::installApp.
  // Tests put a chosen outcome here.
  using InstallRunner = std::function<std::optional<Error>(const std::string& bundleIdentifier,
                                                           const ConfigFile& configFile, const std::string& directory,
                                                           std::optional<std::string>* finalPath)>;
  static void setInstallRunner(InstallRunner runner);

  bool isInstalling() const { return isInstalling_.load(); }
  void setIsInstalling(bool installing) { isInstalling_.store(installing); }
  // The list the install pipeline consults to learn whether its run was cancelled. The
  // helper never creates one, so no run is cancelled.
  std::shared_ptr<AbortAppInfos> abortAppInfos() const { return nullptr; }

  // The process-wide catalog, once loaded; the delegate holds no copy of its own.
  std::shared_ptr<const ConfigFile> configFile() const;
  static void setConfigFile(std::shared_ptr<const ConfigFile> configFile);

  // Why a link is refused before it reaches handleURL (empty, longer than kMaxLinkBytes,
  // not UTF-8, or holding a NUL), or nothing when it is acceptable.
  static std::optional<std::string> refusalReason(std::string_view link);
  // The link among the arguments: the first one after the program that is not an option.
  static std::optional<std::string> linkFromArguments(const std::vector<std::string>& arguments);
  static bool containsQuitAfterLaunch(const std::vector<std::string>& arguments);

  // The two shared character sets of version strings.
  static bool isNonDigit(char32_t c);           // not in "0123456789"
  static bool isNonDigitNonDot(char32_t c);     // not in "0123456789."

  // Request resolution's two rules, public for tests. Whether downloaded bytes count as a
  // cask file: text of at least 6 newline-separated pieces, valid UTF-8 holding "cask" and
  // "end".
  static bool isCaskfileDownload(const Bytes& data);
  // The application's name from the release-date query's answer: of the last record's
  // Path1-Path4 (a missing key or record counts as the empty string, JSON nulls are
  // dropped), the most frequent last path component without its extension; nothing when
  // no path remains.
  static std::optional<std::string> nameFromReceiveDateAnswer(const std::optional<Json>& answer);

 private:
  // Loads the process-wide catalog once (the product application's config.json.encr);
  // without a usable one: the "Fatal Error" alert, then exit status 1. True when loaded.
  bool checkConfigFile();
  void observeProgress();
  void updateProgressWindow(const Json& info);
  static std::optional<Error> runInstall(const std::string& bundleIdentifier, const ConfigFile& configFile,
                                         const std::string& directory, std::optional<std::string>* finalPath);
  // The icon's scratch folder, removed by the result step (main thread only).
  void showIcon(const std::string& folder, const std::string& path);

  std::atomic<bool> isInstalling_{false};
  bool finished_ = false;                  // main thread only
  std::optional<std::string> iconFolder_;  // main thread only
};

}  // namespace vantor
