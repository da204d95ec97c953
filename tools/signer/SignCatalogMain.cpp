// vantor-sign-catalog [--key PEM] INPUT.json OUTPUT
// Writes the signed, compressed catalog file for a JSON catalog. Without --key it signs
// with the repository's demo key. Exit status 0 on success, 1 on bad input or a bad key,
// 2 on wrong usage.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/FileHelpers.h"
#include "foundation/Json.h"
#include "signer/CatalogSigner.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: vantor-sign-catalog [--key PRIVATE_KEY.pem] INPUT.json OUTPUT\n");
  return 2;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "vantor-sign-catalog: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string keyPath = vantor::signer::defaultPrivateKeyPath();
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--key") {
      if (++i >= argc) return usage();
      keyPath = argv[i];
    } else if (argument == "-h" || argument == "--help") {
      usage();
      return 0;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return usage();
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.size() != 2) return usage();
  const std::string& inputPath = paths[0];
  const std::string& outputPath = paths[1];

  auto input = vantor::contentsAsString(inputPath);
  if (!input) return fail("cannot read " + inputPath);
  try {
    auto catalog = vantor::Json::parse(*input);
    if (!catalog.is_object()) return fail(inputPath + ": the catalog must be a JSON object");
    if (!catalog.contains("bundleIDMapping") || !catalog["bundleIDMapping"].is_object())
      return fail(inputPath + ": the catalog has no \"bundleIDMapping\" object");
  } catch (const vantor::Json::exception& e) {
    return fail(inputPath + ": not valid JSON: " + e.what());
  }

  auto file = vantor::signer::signCatalogWithKeyFile(*input, keyPath);
  if (!file) return fail(keyPath + ": " + file.error().localizedDescription());
  std::string_view bytes(reinterpret_cast<const char*>(file->data()), file->size());
  int errorNumber = 0;
  if (!vantor::writeContentsAtomically(outputPath, bytes, &errorNumber))
    return fail("cannot write " + outputPath + ": " + std::strerror(errorNumber));
  return 0;
}
