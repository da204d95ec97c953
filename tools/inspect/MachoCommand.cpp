// vantor-inspect macho FILE [--json]: the slices of a Mach-O executable and the minimum
// system version the helper reads from it, with the load command it came from.

#include <cstdio>
#include <optional>

#include "Subcommand.h"
#include "foundation/FileHelpers.h"
#include "foundation/Json.h"
#include "install/MachOReader.h"

namespace vantor::inspect {
namespace {

Json sliceReport(const MachOSlice& slice) {
  Json out = {{"architecture", slice.architectureName()},
              {"cpuType", slice.cpuType},
              {"cpuSubtype", slice.cpuSubtype},
              {"offset", slice.offset},
              {"size", slice.size},
              {"recognised", slice.recognised}};
  if (slice.recognised) {
    out["bits"] = slice.is64Bit ? 64 : 32;
    out["byteOrder"] = slice.bigEndian ? "big-endian" : "little-endian";
  }
  out["version"] = slice.version.isZero() ? Json() : Json(slice.version.text());
  out["command"] = slice.command.empty() ? Json() : Json(slice.command);
  return out;
}

int runMacho(const std::vector<std::string>& arguments) {
  std::optional<std::string> file;
  bool json = false;
  for (const auto& argument : arguments) {
    if (argument == "--json") json = true;
    else if (!argument.empty() && argument.front() == '-') return usage("macho: unknown option '" + argument + "'");
    else if (!file) file = argument;
    else return usage("macho: more than one file given");
  }
  if (!file) return usage("macho: no file given");
  if (fileIsDirectory(*file)) return usage("macho: '" + *file + "' is a folder");

  MachOFile macho = MachOReader::read(*file);
  if (!macho.opened) {
    std::fprintf(stderr, "vantor-inspect: macho: '%s' could not be opened\n", file->c_str());
    return kExitRefused;
  }
  Json report = {{"file", *file},
                 {"fat", macho.fat},
                 {"version", macho.version.isZero() ? Json() : Json(macho.version.text())},
                 {"command", macho.command.empty() ? Json() : Json(macho.command)},
                 {"slices", Json::array()}};
  if (macho.fat) report["declaredSlices"] = macho.declaredSlices;
  for (const auto& slice : macho.slices) report["slices"].push_back(sliceReport(slice));

  if (json) {
    std::printf("%s\n", report.dump(2).c_str());
    return kExitSuccess;
  }
  std::printf("file: %s\n", file->c_str());
  if (macho.fat) std::printf("kind: fat, %u slices declared\n", macho.declaredSlices);
  else std::printf("kind: thin\n");
  for (size_t i = 0; i < macho.slices.size(); ++i) {
    const MachOSlice& s = macho.slices[i];
    std::printf("slice %zu: %s, offset %llu, size %llu", i, s.architectureName().c_str(),
                static_cast<unsigned long long>(s.offset), static_cast<unsigned long long>(s.size));
    if (!s.recognised) {
      std::printf(", not a Mach-O header\n");
      continue;
    }
    std::printf(", %d-bit %s", s.is64Bit ? 64 : 32, s.bigEndian ? "big-endian" : "little-endian");
    if (s.command.empty()) std::printf(", no minimum system\n");
    else std::printf(", minimum system %s from %s\n", s.version.text().c_str(), s.command.c_str());
  }
  if (macho.command.empty()) std::printf("minimum system: none (0.0.0)\n");
  else std::printf("minimum system: %s (%s)\n", macho.version.text().c_str(), macho.command.c_str());
  return kExitSuccess;
}

const bool registered = registerInspectCommand(
    {"macho", "FILE [--json]", "shows the slices of a Mach-O file and the minimum system the helper reads from it",
     runMacho});

}  // namespace
}  // namespace vantor::inspect
