#include "install/AppReplacement.h"

#include "foundation/Log.h"
#include "foundation/StringHelpers.h"

namespace vantor::install {

AppReplacement::AppReplacement(ReplacementFileOperations& files, std::string oldApp, std::string destination,
                               std::string newApp, ProgressBlock progress)
    : files_(files),
      old_(std::move(oldApp)),
      destination_(std::move(destination)),
      new_(std::move(newApp)),
      progress_(std::move(progress)) {}

void AppReplacement::report(double fraction) const {
  if (progress_) progress_(fraction);
}

std::string AppReplacement::stagedNewApp() const {
  return stringByAppendingPathComponent(newTemp_.value_or(""), lastPathComponent(new_));
}

std::string AppReplacement::setAsideOldApp() const {
  return stringByAppendingPathComponent(oldTemp_.value_or(""), lastPathComponent(old_));
}

void AppReplacement::removeNewTemporaryFolder() {
  if (!newTemp_) return;
  (void)files_.removeItemAtURL(*newTemp_, nullptr);
  newTemp_.reset();
}

void AppReplacement::removeOldTemporaryFolderIfEmpty() {
  if (!oldTemp_) return;
  if (files_._itemExistsAtURL(setAsideOldApp())) {
    cc_log_error("Error: the old app could not be put back and is kept at %@", setAsideOldApp());
    return;
  }
  (void)files_.removeItemAtURL(*oldTemp_, nullptr);
  oldTemp_.reset();
}

void AppReplacement::putOldBack() {
  if (oldTemp_ && files_._itemExistsAtURL(setAsideOldApp())) (void)files_.moveItemAtURL(setAsideOldApp(), old_, nullptr);
  removeOldTemporaryFolderIfEmpty();
}

bool AppReplacement::run(Error* error) {
  if (!prepareNewApp(error) || !stageNewApp(error)) return false;
  adjustStagedApp();
  if (!moveOldAside(error) || !moveNewIntoPlace(error)) return false;
  finish();
  return true;
}

bool AppReplacement::prepareNewApp(Error* error) {
  report(0.1);
  if (!files_.updateAccessTimeOfItemAtRootURL(new_, error)) {
    cc_log_error("Failed to recursively update new application's modification time before moving into temporary "
                 "directory");
    return false;
  }
  return true;
}

bool AppReplacement::stageNewApp(Error* error) {
  std::string oldParent = stringByDeletingLastPathComponent(old_);
  newTemp_ = files_.makeTemporaryDirectoryWithPreferredName(
      stringByDeletingPathExtension(lastPathComponent(old_)) + " (Incomplete Update)",
      oldParent.empty() ? "." : oldParent, error);
  if (!newTemp_) {
    cc_log_error("Failed to make new temp directory");
    return false;
  }
  report(0.2);
  if (!files_.moveItemAtURL(new_, stagedNewApp(), error)) {
    cc_log_error("Failed to move the new app from %@ to its temp directory at %@", new_, stagedNewApp());
    removeNewTemporaryFolder();
    return false;
  }
  report(0.3);
  return true;
}

void AppReplacement::adjustStagedApp() {
  std::string staged = stagedNewApp();
  Error error;
  if (!files_.releaseItemFromQuarantineAtRootURL(staged, &error))
    cc_log_error("Failed to release quarantine at %@ with error %@", staged, error);
  if (!files_.setHiddenOfItemAtURL(staged, false, nullptr)) cc_log_error("Failed to make app visible %@", staged);
  report(0.4);
  if (!files_.changeOwnerAndGroupOfItemAtRootURL(staged, old_, nullptr))
    cc_log_error("Failed to change owner and group of new app at %@ to match old app at %@", staged, old_);
  report(0.5);
  error = Error();
  if (!files_.updateModificationAndAccessTimeOfItemAtURL(staged, &error))
    cc_log_error("Failed to update modification and access time of new app at %@ %@", staged,
                 error);
  report(0.6);
}

bool AppReplacement::moveOldAside(Error* error) {
  std::string oldParent = stringByDeletingLastPathComponent(old_);
  if (!oldParent.empty())
    oldTemp_ = files_.makeTemporaryDirectoryWithPreferredName(stringByDeletingPathExtension(lastPathComponent(old_)),
                                                              oldParent, error);
  if (!oldTemp_) {
    cc_log_error("Failed to create temporary directory for old app at %@", old_);
    removeNewTemporaryFolder();
    return false;
  }
  report(0.7);
  if (!files_.moveItemAtURL(old_, setAsideOldApp(), error)) {
    cc_log_error("Failed to move the old app at %@ to a temporary location at %@", old_, setAsideOldApp());
    removeNewTemporaryFolder();
    putOldBack();
    return false;
  }
  report(0.8);
  return true;
}

bool AppReplacement::moveNewIntoPlace(Error* error) {
  if (!files_.moveItemAtURL(stagedNewApp(), destination_, error)) {
    cc_log_error("Failed to move new app at %@ to final destination %@", stagedNewApp(), destination_);
    removeNewTemporaryFolder();
    putOldBack();
    return false;
  }
  report(0.9);
  return true;
}

void AppReplacement::finish() {
  auto tags = files_.tagNamesOfItemAtURL(setAsideOldApp());
  if (!tags.empty()) (void)files_.setTagNamesOfItemAtURL(destination_, tags, nullptr);
  if (oldTemp_) (void)files_.removeItemAtURL(*oldTemp_, nullptr);
  oldTemp_.reset();
  removeNewTemporaryFolder();
  report(1.0);
}

}  // namespace vantor::install
