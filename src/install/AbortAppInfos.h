#pragma once
// The list of runs to cancel: the bundle-identifier objects whose install runs are to
// stop. The pipeline asks it after every received chunk of the download, under the
// list's lock, and tests the identity of the very object it was handed (not equal text),
// so a writer adds the string object that it passed to the run.

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace vantor {

struct AbortAppInfos {
  std::mutex lock;
  std::vector<const std::string*> infos;

  bool containsObjectIdenticalTo(const std::string& bundleIdentifier) {
    std::lock_guard<std::mutex> guard(lock);
    return std::find(infos.begin(), infos.end(), &bundleIdentifier) != infos.end();
  }
  void addObject(const std::string& bundleIdentifier) {
    std::lock_guard<std::mutex> guard(lock);
    infos.push_back(&bundleIdentifier);
  }
};

}  // namespace vantor
