#pragma once
// The one place that reads the process environment. Everything above the platform
// layer asks here, so tests can see which variables the helper depends on.

#include <optional>
#include <string>

namespace vantor::platform {

// The variable's value, or nothing when it is unset. An empty value counts as set.
std::optional<std::string> environmentValue(const char* name);

// The user's home folder: $HOME, else the password database entry of the current uid.
std::string homeDirectory();

// The home folder of the user database entry of the real user id, whatever $HOME says.
std::string userDatabaseHomeDirectory();

// The user's temporary folder: $TMPDIR, else "/tmp".
std::string temporaryDirectory();

// The per-user runtime folder: $XDG_RUNTIME_DIR, else the temporary folder.
std::string runtimeDirectory();

}  // namespace vantor::platform
