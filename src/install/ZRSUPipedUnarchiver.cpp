#include "install/ZRSUPipedUnarchiver.h"


#include <cstdint>
#include <fstream>
#include <utility>

#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "platform/ArchiveTool.h"
#include "platform/FileSystem.h"

namespace vantor {
namespace {

struct Row {
  const char* suffix;
  const char* arguments;
};

// The xz and lzma rows use "-zxC" too: tar detects the compression of an archive it
// reads by itself, and the z and j letters do not restrict it.
constexpr Row kTable[] = {
    {".tar", "-xC"},      {".tar.gz", "-zxC"},  {".tgz", "-zxC"}, {".tar.bz2", "-jxC"},
    {".tbz", "-jxC"},     {".tar.xz", "-zxC"},  {".txz", "-zxC"}, {".tar.lzma", "-zxC"},
};

constexpr std::size_t kChunkSize = 262144;

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
  return out;
}

// The size the file system reports for the archive; 0 when it cannot be read.
std::uint64_t archiveSize(const std::string& path) {
  platform::FileStatus status;
  if (platform::FileSystem::status(path, &status, true) != 0 || status.type != platform::FileStatus::Type::Regular)
    return 0;
  return static_cast<std::uint64_t>(status.size);
}

}  // namespace

std::optional<std::vector<std::string>> ZRSUPipedUnarchiver::commandAndArgumentsConformingToTypeOfPath(
    const std::string& path) {
  std::string name = lastPathComponent(path);
  for (const Row& row : kTable)
    if (hasSuffix(name, row.suffix)) return std::vector<std::string>{platform::ArchiveTool::kTarCommand, row.arguments};
  return std::nullopt;
}

bool ZRSUPipedUnarchiver::canUnarchivePath(const std::string& path) {
  return commandAndArgumentsConformingToTypeOfPath(path).has_value();
}

std::string ZRSUPipedUnarchiver::description() const {
  return makeString("%@ <%@>", "ZRSUPipedUnarchiver", archivePath());
}

std::optional<Error> ZRSUPipedUnarchiver::unarchive() {
  auto row = commandAndArgumentsConformingToTypeOfPath(archivePath());
  if (!row) return extractionError(makeString("Extraction failed, no command for '%@'", archivePath()));
  return extractArchivePipingDataToCommand(row->front(), std::vector<std::string>(row->begin() + 1, row->end()));
}

std::optional<Error> ZRSUPipedUnarchiver::extractArchivePipingDataToCommand(const std::string& command,
                                                                            const std::vector<std::string>& arguments) {
  const std::string destination = destinationFolder(archivePath());
  createDirectories(destination);
  cc_log("Extracting using '%@' '%@' < '%@' '%@'", command, joined(arguments, "' '"), archivePath(), destination);

  // A size of 0 also stands for a missing file, a FIFO or a device: none is read from.
  const std::uint64_t size = archiveSize(archivePath());
  if (size == 0) return extractionError(makeString("Extraction failed, archive '%@' is empty", archivePath()));

  std::ifstream archive(archivePath(), std::ios::binary);
  std::vector<std::string> fullArguments = arguments;
  fullArguments.push_back(destination);
  std::string launchError;
  auto tool = platform::ArchiveTool::launch(command, fullArguments, true, &launchError);
  if (!tool)
    return extractionError(makeString("Extraction failed, -[NSTask launch] threw exception '%@'", launchError));

  std::vector<char> chunk(kChunkSize);
  std::uint64_t bytesWritten = 0;
  while (bytesWritten < size && archive) {
    archive.read(chunk.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(kChunkSize, size - bytesWritten)));
    auto got = static_cast<std::size_t>(archive.gcount());
    if (got == 0) break;
    // A tool that stops reading ended or failed; its exit status and the count say which.
    if (!tool->writeInput(chunk.data(), got)) break;
    bytesWritten += got;
  }
  tool->closeInput();

  int status = tool->waitForExit();
  if (auto limit = tool->limitFailure())
    return extractionError(makeString("Extraction failed, command '%@' %@", command, *limit));
  if (status != 0) return extractionError(makeString("Extraction failed, command '%@' returned %d", command, status));
  if (bytesWritten != size)
    return extractionError(makeString("Extraction failed, command '%@' got only %ld of %ld bytes", command,
                                      static_cast<long>(bytesWritten), static_cast<long>(size)));
  return std::nullopt;
}

}  // namespace vantor
