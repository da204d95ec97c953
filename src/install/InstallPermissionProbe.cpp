#include "install/InstallPermissionProbe.h"

#include <fstream>

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"
#include "install/ZRSUFileManager.h"
#include "platform/Environment.h"

namespace vantor {

bool InstallPermissionProbe::needsAuthorization(const std::string& directory) {
  if (!isWriteablePath(stringByAppendingPathComponent(directory, kProbeFileName))) return true;

  install::ZRSUFileManager fileManager;
  auto scratch = fileManager.makeTemporaryDirectoryWithPreferredName(kScratchName, platform::temporaryDirectory(),
                                                                     nullptr);
  if (!scratch) return true;
  std::ofstream probe(stringByAppendingPathComponent(*scratch, kScratchName), std::ios::binary | std::ios::trunc);
  bool written = static_cast<bool>(probe);
  probe.close();
  fileManager.removeItemAtURL(*scratch, nullptr);
  return !written;
}

}  // namespace vantor
