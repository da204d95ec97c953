#include "platform/NotificationCenter.h"

#include <algorithm>

namespace vantor::platform {

NotificationCenter& NotificationCenter::defaultCenter() {
  static auto* center = new NotificationCenter();
  return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name, Observer observer) {
  std::lock_guard lock(mutex_);
  Token token = next_++;
  entries_.push_back({token, name, std::make_shared<Observer>(std::move(observer))});
  return token;
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(const std::string& name, const nlohmann::json& object) {
  std::vector<std::shared_ptr<Observer>> matching;
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
      if (e.name.empty() || e.name == name) matching.push_back(e.observer);
  }
  // Called without the lock, so that an observer may post or change the observers.
  for (const auto& observer : matching) (*observer)(object);
}

}  // namespace vantor::platform
