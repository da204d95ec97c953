#pragma once
// Helpers on file-system paths, named after the methods the rest of the system uses.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Bytes.h"

namespace vantor {

bool fileExists(const std::string& path);       // anything, a dangling link included
bool fileIsDirectory(const std::string& path);  // follows links
bool fileIsSymlink(const std::string& path);
std::uint64_t fileSize(const std::string& path);  // 0 when unreadable
std::optional<Bytes> contents(const std::string& path);
std::optional<std::string> contentsAsString(const std::string& path);
bool isWriteablePath(const std::string& path);
bool isReadablePath(const std::string& path);  // the current user may read it
std::optional<std::vector<std::string>> directoryContents(const std::string& path);
std::optional<std::vector<std::string>> directoryContentsRecursive(const std::string& path);
std::optional<std::vector<std::string>> directoryContentsAbsolute(const std::string& path);
std::string uniqueFile(const std::string& path);
// SHA-1 of the whole file, or "NoFile".
std::string fileChecksumSHA(const std::string& path);
// Writes the bytes atomically; false on failure (errno in *errorNumber when given).
bool writeContentsAtomically(const std::string& path, std::string_view bytes, int* errorNumber = nullptr);
// Removes a file or a whole tree; true when nothing is left.
bool removeItem(const std::string& path);
bool createDirectories(const std::string& path);

// A new private folder "<tmp>/<bundle identifier>.XXXXXX", or nothing.
std::optional<std::string> makeTempDirectory();
// "<new temp folder>/1.<extension>", or nothing.
std::optional<std::string> makeTempFilepath(const std::string& extension);

}  // namespace vantor
