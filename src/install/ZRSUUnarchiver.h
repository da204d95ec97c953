#pragma once
// Picks the extractor for an archive from its file name.

#include <memory>
#include <optional>
#include <string>

#include "install/ZRSUUnarchiverProtocol.h"

namespace vantor {

class ZRSUUnarchiver {
 public:
  // The zip extractor, else the tar-family one, else the disk-image one (the only one
  // that takes the password); nullptr for an archive of no known type, which is no
  // extractor rather than a failed one. The host bundle path is not used.
  static std::unique_ptr<ZRSUUnarchiverProtocol> unarchiverForPath(const std::string& path,
                                                                   const std::optional<std::string>& hostBundlePath,
                                                                   const std::optional<std::string>& decryptionPassword);
};

}  // namespace vantor
