#include "install/ZRSUUnpipedUnarchiver.h"


#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "platform/ArchiveTool.h"
#include "platform/FileSystem.h"

namespace vantor {
namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
  return out;
}

bool isEmptyArchive(const std::string& path) {
  platform::FileStatus status;
  return platform::FileSystem::status(path, &status, true) != 0 ||
         status.type != platform::FileStatus::Type::Regular || status.size == 0;
}

}  // namespace

std::optional<std::vector<std::string>> ZRSUUnpipedUnarchiver::commandAndArgumentsConformingToTypeOfPath(
    const std::string& path) {
  if (hasSuffix(lastPathComponent(path), ".zip"))
    return std::vector<std::string>{platform::ArchiveTool::kCopierCommand, "-x", "-k"};
  return std::nullopt;
}

bool ZRSUUnpipedUnarchiver::canUnarchivePath(const std::string& path) {
  return commandAndArgumentsConformingToTypeOfPath(path).has_value();
}

std::string ZRSUUnpipedUnarchiver::description() const {
  return makeString("%@ <%@>", "ZRSUUnpipedUnarchiver", archivePath());
}

std::optional<Error> ZRSUUnpipedUnarchiver::unarchive() {
  auto row = commandAndArgumentsConformingToTypeOfPath(archivePath());
  if (!row) return extractionError(makeString("Extraction failed, no command for '%@'", archivePath()));
  return extractArchivePipingDataToCommand(row->front(), std::vector<std::string>(row->begin() + 1, row->end()));
}

std::optional<Error> ZRSUUnpipedUnarchiver::extractArchivePipingDataToCommand(
    const std::string& command, const std::vector<std::string>& arguments) {
  const std::string destination = destinationFolder(archivePath());
  createDirectories(destination);
  std::vector<std::string> fullArguments = arguments;
  fullArguments.push_back(archivePath());
  fullArguments.push_back(destination);
  cc_log("Extracting using '%@' '%@'", command, joined(fullArguments, "' '"));

  if (isEmptyArchive(archivePath()))
    return extractionError(makeString("Extraction failed, archive '%@' is empty", archivePath()));

  std::string launchError;
  auto tool = platform::ArchiveTool::launch(command, fullArguments, false, &launchError);
  if (!tool)
    return extractionError(makeString("Extraction failed, -[NSTask launch] threw exception '%@'", launchError));
  // Read to the end before waiting, so a chatty copier cannot block on a full pipe.
  std::string rawOutput = tool->readOutputToEnd();
  int status = tool->waitForExit();
  if (auto limit = tool->limitFailure())
    return extractionError(makeString("Extraction failed, command '%@' %@", command, *limit));
  if (status == 0 && rawOutput.empty()) return std::nullopt;
  std::optional<std::string> output = rawOutput.empty() ? std::optional<std::string>("") : stringUTF8(rawOutput);
  return extractionError(
      makeString("Extraction failed, command '%@' returned %d and string: %@", command, status, output));
}

}  // namespace vantor
