#include "platform/Environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace vantor::platform {

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string homeDirectory() {
  if (auto home = environmentValue("HOME"); home && !home->empty()) return *home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return "/";
}

std::string userDatabaseHomeDirectory() {
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return homeDirectory();
}

std::string temporaryDirectory() {
  auto tmp = environmentValue("TMPDIR");
  if (!tmp || tmp->empty()) return "/tmp";
  while (tmp->size() > 1 && tmp->back() == '/') tmp->pop_back();
  return *tmp;
}

std::string runtimeDirectory() {
  auto dir = environmentValue("XDG_RUNTIME_DIR");
  if (!dir || dir->empty()) return temporaryDirectory();
  return *dir;
}

}  // namespace vantor::platform
