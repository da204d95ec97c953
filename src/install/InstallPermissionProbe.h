#pragma once
// Whether installing into a folder needs the privileged road: the folder must take a new
// file, and a scratch folder of the user's temporary folder must take one too.

#include <string>

namespace vantor {

class InstallPermissionProbe {
 public:
  InstallPermissionProbe() = delete;

  static constexpr const char* kProbeFileName = "nonexistantfileforesure_jz20d2mdhtgq_";
  static constexpr const char* kScratchName = "permission_test";

  static bool needsAuthorization(const std::string& directory);
};

}  // namespace vantor
