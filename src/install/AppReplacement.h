#pragma once
// Puts a new application bundle at its destination, moving the bundle it replaces out of
// the way first. Each step is a function of its own, so that a caller with other rights
// (the privileged tool) runs the same sequence over its own file operations.
//
// What holds at every moment, a crash between steps included: the old bundle is whole,
// at its place or inside oldTemporaryFolder(); the destination is never overwritten and
// holds either what it held before or the whole new bundle. After a failure the
// temporary folders made so far are removed, except one that still holds the old
// bundle: that one is kept and its place logged.

#include <functional>
#include <optional>
#include <string>

#include "foundation/Error.h"
#include "install/ReplacementFileOperations.h"

namespace vantor::install {

class AppReplacement {
 public:
  using ProgressBlock = std::function<void(double)>;

  AppReplacement(ReplacementFileOperations& files, std::string oldApp, std::string destination, std::string newApp,
                 ProgressBlock progress = nullptr);

  // Every step in order, with progress 0.1 ... 1.0. The failing step logs, cleans up
  // after itself and stores its error; progress stops at the last fraction reached.
  bool run(Error* error);

  // Progress 0.1; makes the new bundle readable and stamps its access times.
  bool prepareNewApp(Error* error);
  // Moves the new bundle into a new temporary folder next to the old one (0.2, 0.3).
  // On failure that folder is removed again.
  bool stageNewApp(Error* error);
  // Quarantine, visibility, owner and group, times of the staged bundle (0.4 ... 0.6).
  // Failures are only logged.
  void adjustStagedApp();
  // Moves the old bundle into a second temporary folder (0.7, 0.8). On failure whatever
  // reached that folder is moved back, and both folders are removed unless the old
  // bundle (or part of it) is still in its folder.
  bool moveOldAside(Error* error);
  // Moves the staged bundle to the destination, which must not exist (0.9). On failure
  // the staged bundle is removed and the old bundle moved back to its place.
  bool moveNewIntoPlace(Error* error);
  // Carries the old bundle's tags over to the destination and removes both temporary
  // folders, the old bundle with them (1.0).
  void finish();

  const std::optional<std::string>& newTemporaryFolder() const { return newTemp_; }
  const std::optional<std::string>& oldTemporaryFolder() const { return oldTemp_; }

 private:
  void report(double fraction) const;
  std::string stagedNewApp() const;
  std::string setAsideOldApp() const;
  void removeNewTemporaryFolder();
  // Removes the old bundle's folder unless something of the old bundle is inside.
  void removeOldTemporaryFolderIfEmpty();
  // Moves the old bundle back when it is in its folder (a move never replaces what is
  // at its place), then removes the folder if that left it empty.
  void putOldBack();

  ReplacementFileOperations& files_;
  std::string old_;
  std::string destination_;
  std::string new_;
  ProgressBlock progress_;
  std::optional<std::string> newTemp_;
  std::optional<std::string> oldTemp_;
};

}  // namespace vantor::install
