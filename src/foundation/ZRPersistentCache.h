#pragma once
// A small key-value store kept as a property list, "persistentCache.dict", in the
// application support folder. Every access takes the one lock; changes reach the disk
// only through save().

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/Error.h"
#include "foundation/Json.h"

namespace vantor {

class ZRPersistentCache {
 public:
  // The one shared cache (created on first use; needs the context object).
  static ZRPersistentCache& sharedCache();
  // A cache on that file: loaded when it exists and reads as a dictionary, else empty.
  explicit ZRPersistentCache(std::string path);

  std::optional<Json> objectForKey(const std::string& key);
  // Absent removes the key.
  void setObject(const std::string& key, const std::optional<Json>& value);
  // Calls block for every entry while holding the lock.
  void enumerateKeysAndObjects(const std::function<void(const std::string& key, const Json& value)>& block);
  // Writes the file atomically; the error says why it could not.
  [[nodiscard]] std::optional<Error> save();

  const std::string& path() const { return path_; }

 private:
  std::mutex lock_;
  std::string path_;
  Json cache_ = Json::object();
};

}  // namespace vantor
