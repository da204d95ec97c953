#include "install/ZRSUUnarchiver.h"

#include "install/ZRSUDiskImageUnarchiver.h"
#include "install/ZRSUPipedUnarchiver.h"
#include "install/ZRSUUnpipedUnarchiver.h"

namespace vantor {

std::unique_ptr<ZRSUUnarchiverProtocol> ZRSUUnarchiver::unarchiverForPath(
    const std::string& path, const std::optional<std::string>& /*hostBundlePath*/,
    const std::optional<std::string>& decryptionPassword) {
  if (ZRSUUnpipedUnarchiver::canUnarchivePath(path)) return std::make_unique<ZRSUUnpipedUnarchiver>(path);
  if (ZRSUPipedUnarchiver::canUnarchivePath(path)) return std::make_unique<ZRSUPipedUnarchiver>(path);
  if (ZRSUDiskImageUnarchiver::canUnarchivePath(path))
    return std::make_unique<ZRSUDiskImageUnarchiver>(path, decryptionPassword);
  return nullptr;
}

}  // namespace vantor
