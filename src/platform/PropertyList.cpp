#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

namespace vantor::platform {
namespace {

using Json = nlohmann::json;
constexpr int kMaxDepth = 512;
constexpr int64_t kAppleEpochOffset = 978307200;  // 2001-01-01 in Unix time

struct PlistDeleter {
  void operator()(plist_t p) const {
    if (p != nullptr) plist_free(p);
  }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::optional<Json> toJson(plist_t node, int depth) {
  if (node == nullptr || depth > kMaxDepth) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t v = 0;
      plist_get_bool_val(node, &v);
      return Json(v != 0);
    }
    case PLIST_UINT: {
      uint64_t v = 0;
      plist_get_uint_val(node, &v);
      // libplist stores negative integers as their two's complement
      if (v > static_cast<uint64_t>(INT64_MAX)) return Json(static_cast<int64_t>(v));
      return Json(static_cast<int64_t>(v));
    }
    case PLIST_REAL: {
      double v = 0;
      plist_get_real_val(node, &v);
      return Json(v);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
      char* s = nullptr;
      if (plist_get_node_type(node) == PLIST_STRING) plist_get_string_val(node, &s);
      else plist_get_key_val(node, &s);
      std::string text = s != nullptr ? s : "";
      std::free(s);
      return Json(text);
    }
    case PLIST_DATA: {
      char* d = nullptr;
      uint64_t len = 0;
      plist_get_data_val(node, &d, &len);
      std::vector<std::uint8_t> bytes(d, d + len);
      std::free(d);
      return Json::binary(std::move(bytes));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      std::time_t t = static_cast<std::time_t>(sec) + kAppleEpochOffset;
      std::tm tm{};
      gmtime_r(&t, &tm);
      char buf[32];
      std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
      return Json(std::string(buf));
    }
    case PLIST_UID: {
      uint64_t v = 0;
      plist_get_uid_val(node, &v);
      return Json(v);
    }
    case PLIST_ARRAY: {
      Json out = Json::array();
      uint32_t n = plist_array_get_size(node);
      for (uint32_t i = 0; i < n; ++i) {
        auto item = toJson(plist_array_get_item(node, i), depth + 1);
        if (!item) return std::nullopt;
        out.push_back(std::move(*item));
      }
      return out;
    }
    case PLIST_DICT: {
      Json out = Json::object();
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      if (it == nullptr) return out;
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, it, &key, &value);
        if (key == nullptr) break;
        std::string k = key;
        std::free(key);
        auto item = toJson(value, depth + 1);
        if (!item) {
          std::free(it);
          return std::nullopt;
        }
        out[k] = std::move(*item);
      }
      std::free(it);
      return out;
    }
    default: return std::nullopt;
  }
}

plist_t fromJson(const Json& value, int depth) {
  if (depth > kMaxDepth) return nullptr;
  switch (value.type()) {
    case Json::value_t::boolean: return plist_new_bool(value.get<bool>() ? 1 : 0);
    case Json::value_t::number_integer: return plist_new_uint(static_cast<uint64_t>(value.get<int64_t>()));
    case Json::value_t::number_unsigned: return plist_new_uint(value.get<uint64_t>());
    case Json::value_t::number_float: return plist_new_real(value.get<double>());
    case Json::value_t::string: return plist_new_string(value.get_ref<const std::string&>().c_str());
    case Json::value_t::binary: {
      const auto& b = value.get_binary();
      return plist_new_data(reinterpret_cast<const char*>(b.data()), b.size());
    }
    case Json::value_t::array: {
      plist_t a = plist_new_array();
      for (const auto& item : value)
        if (plist_t p = fromJson(item, depth + 1)) plist_array_append_item(a, p);
      return a;
    }
    case Json::value_t::object: {
      plist_t d = plist_new_dict();
      for (auto it = value.begin(); it != value.end(); ++it)
        if (plist_t p = fromJson(it.value(), depth + 1)) plist_dict_set_item(d, it.key().c_str(), p);
      return d;
    }
    default: return nullptr;
  }
}

}  // namespace

std::optional<Json> parsePropertyList(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) return std::nullopt;
  std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  bool binary = view.starts_with("bplist");
  if (binary ? !binaryPropertyListWithinLimits(view) : !xmlPropertyListWithinLimits(view)) return std::nullopt;
  plist_t root = nullptr;
  plist_from_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
  PlistPtr owner(root);
  if (root == nullptr) return std::nullopt;
  return toJson(root, 0);
}

std::optional<std::string> xmlPropertyList(const Json& value) {
  PlistPtr root(fromJson(value, 0));
  if (!root) return std::nullopt;
  char* xml = nullptr;
  uint32_t len = 0;
  plist_to_xml(root.get(), &xml, &len);
  if (xml == nullptr) return std::nullopt;
  std::string out(xml, len);
  plist_to_xml_free(xml);
  return out;
}

std::optional<std::vector<std::uint8_t>> binaryPropertyList(const Json& value) {
  PlistPtr root(fromJson(value, 0));
  if (!root) return std::nullopt;
  char* bin = nullptr;
  uint32_t len = 0;
  plist_to_bin(root.get(), &bin, &len);
  if (bin == nullptr) return std::nullopt;
  std::vector<std::uint8_t> out(bin, bin + len);
  plist_to_bin_free(bin);
  return out;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, int* errorNumber, bool durable) {
  auto failWith = [&](int e) {
    if (errorNumber != nullptr) *errorNumber = e;
    return false;
  };
  std::string dir = ".";
  if (auto slash = path.rfind('/'); slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
  std::string tmpl = path + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return failWith(errno);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      ::unlink(tmpl.c_str());
      return failWith(e);
    }
    done += static_cast<size_t>(n);
  }
  ::fchmod(fd, 0644);
  if ((durable && ::fsync(fd) != 0) || ::close(fd) != 0) {
    int e = errno;
    ::unlink(tmpl.c_str());
    return failWith(e);
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(tmpl.c_str());
    return failWith(e);
  }
  return true;
}

}  // namespace vantor::platform
