#include "foundation/ZRPersistentCache.h"

#include <cerrno>
#include <cstring>

#include "foundation/Assert.h"
#include "foundation/FileHelpers.h"
#include "foundation/Log.h"
#include "foundation/TesselLib.h"
#include "platform/PropertyList.h"

namespace vantor {

ZRPersistentCache& ZRPersistentCache::sharedCache() {
  static ZRPersistentCache* shared = [] {
    VANTOR_ASSERT(cc != nullptr && cc->suppDir().has_value());
    return new ZRPersistentCache(*cc->suppDir() + "/persistentCache.dict");
  }();
  return *shared;
}

ZRPersistentCache::ZRPersistentCache(std::string path) : path_(std::move(path)) {
  if (auto bytes = contents(path_))
    if (auto parsed = platform::parsePropertyList(*bytes); parsed && parsed->is_object()) cache_ = std::move(*parsed);
}

std::optional<Json> ZRPersistentCache::objectForKey(const std::string& key) {
  std::lock_guard lock(lock_);
  if (auto it = cache_.find(key); it != cache_.end()) return *it;
  return std::nullopt;
}

void ZRPersistentCache::setObject(const std::string& key, const std::optional<Json>& value) {
  std::lock_guard lock(lock_);
  if (value) cache_[key] = *value;
  else cache_.erase(key);
}

void ZRPersistentCache::enumerateKeysAndObjects(
    const std::function<void(const std::string& key, const Json& value)>& block) {
  std::lock_guard lock(lock_);
  for (auto it = cache_.begin(); it != cache_.end(); ++it) block(it.key(), it.value());
}

std::optional<Error> ZRPersistentCache::save() {
  std::lock_guard lock(lock_);
  auto xml = platform::xmlPropertyList(cache_);
  if (!xml) {
    cc_log_error("Error: the persistent cache holds values a property list can not store");
    return Error(kCocoaErrorDomain, 2048 /* property list write invalid */,
                 {{kLocalizedDescriptionKey, "The cache holds values a property list can not store."}});
  }
  int errorNumber = 0;
  if (!platform::writeFileAtomically(path_, *xml, &errorNumber)) {
    cc_log_error("Error: could not write the persistent cache to %@: %@", path_, std::strerror(errorNumber));
    return Error(kPOSIXErrorDomain, errorNumber, {{kLocalizedDescriptionKey, std::strerror(errorNumber)}, {"NSFilePath", path_}});
  }
  return std::nullopt;
}

}  // namespace vantor
