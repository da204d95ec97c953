#pragma once
// The process's notification centre: observers register for a name and are called on
// the posting thread, in registration order, with the notification's object.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::platform {

class NotificationCenter {
 public:
  using Observer = std::function<void(const nlohmann::json& object)>;
  using Token = std::uint64_t;

  static NotificationCenter& defaultCenter();

  // An empty name observes every notification.
  Token addObserver(const std::string& name, Observer observer);
  void removeObserver(Token token);
  // Calls the observers of name on this thread; an observer may add or remove observers.
  void post(const std::string& name, const nlohmann::json& object = nullptr);

 private:
  struct Entry {
    Token token;
    std::string name;
    std::shared_ptr<Observer> observer;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
  Token next_ = 1;
};

}  // namespace vantor::platform
