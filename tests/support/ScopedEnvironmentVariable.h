#pragma once
// Sets an environment variable for the life of the object and then restores it. Set it
// before starting work that reads it on other threads.

#include <cstdlib>
#include <optional>
#include <string>

namespace vantor::test {

class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    if (value) ::setenv(name_.c_str(), value->c_str(), 1);
    else ::unsetenv(name_.c_str());
  }
  ~ScopedEnvironmentVariable() {
    if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
    else ::unsetenv(name_.c_str());
  }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace vantor::test
