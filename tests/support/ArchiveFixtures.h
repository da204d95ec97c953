#pragma once
// Test fixtures for archive extraction: a small application bundle with a framework's
// symbolic links, bsdtar runs, and archives that expand to far more than they weigh (zip
// and tar.gz "bombs", written directly, in milliseconds).

#include <cstdint>
#include <string>
#include <vector>

namespace vantor::test {

// <folder>/<name>.app with Contents/Info.plist, an executable Contents/MacOS/<name> and
// Contents/Frameworks/Kit.framework laid out with the usual links (Versions/Current -> A,
// Kit -> Versions/Current/Kit, Resources -> Versions/Current/Resources).
void writeAppBundle(const std::string& folder, const std::string& name = "Demo");

// Runs bsdtar with the arguments in the folder; its output, or "" with ok false.
bool runBsdtar(const std::vector<std::string>& arguments, const std::string& workingDirectory,
               std::string* output = nullptr);

// A zip with one deflated entry of expandedMiB MiB of zero bytes (below 4 GiB).
bool writeZipBomb(const std::string& path, std::uint32_t expandedMiB);
// A gzip-compressed tar with one file of expandedMiB MiB of zero bytes.
bool writeTarGzBomb(const std::string& path, std::uint32_t expandedMiB);

// The names in a folder, sorted; links are not followed.
std::vector<std::string> folderEntries(const std::string& folder);

}  // namespace vantor::test
