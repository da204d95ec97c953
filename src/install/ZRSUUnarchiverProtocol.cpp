#include "install/ZRSUUnarchiverProtocol.h"

#include "foundation/Format.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"

namespace vantor {

std::string ZRSUUnarchiverProtocol::destinationFolder(const std::string& archivePath) {
  std::string name = stringByDeletingPathExtension(lastPathComponent(archivePath));
  return stringByAppendingPathComponent(stringByDeletingLastPathComponent(archivePath), makeString("%@_folder", name));
}

Error ZRSUUnarchiverProtocol::extractionError(const std::string& message) {
  cc_log_error("%@", message);
  return Error(kSUSparkleErrorDomain, kSUUnarchivingError, Json{{kLocalizedDescriptionKey, message}});
}

}  // namespace vantor
