#include "TestSupport.h"

#include "vantor/BuildSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/RunLoop.h"

namespace vantor::test {

TempFolder::TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantor-test.XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Make everything removable first: tests leave read-only folders behind on purpose.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

const std::string& isolateHome() {
  static const std::string* home = [] {
    static TempFolder folder;  // lives until the process ends
    std::string homePath = folder / "home";
    std::string runtime = folder / "run";
    std::filesystem::create_directories(homePath);
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    ::setenv("HOME", homePath.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    return new std::string(homePath);
  }();
  platform::markMainThread();
  return *home;
}

void writeFile(const std::string& path, const std::string& contents) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << contents;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::vector<nlohmann::json> readJsonLines(const std::string& path) {
  std::vector<nlohmann::json> values;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) values.push_back(nlohmann::json::parse(line));
  return values;
}

StderrCapture::StderrCapture() {
  static TempFolder folder;
  static int counter = 0;
  file_ = folder / ("stderr" + std::to_string(counter++));
  std::fflush(stderr);
  saved_ = ::dup(2);
  int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(fd, 2);
  ::close(fd);
}

StderrCapture::~StderrCapture() { text(); }

std::string StderrCapture::text() {
  if (!stopped_) {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    stopped_ = true;
    text_ = readFile(file_);
  }
  return text_;
}

std::string binaryPath(const std::string& name) {
  const char* dir = std::getenv("VANTOR_BIN_DIR");
  return std::string(dir ? dir : "build/bin") + "/" + name;
}

std::string sourceDir() {
  // The build knows where its sources are; VANTOR_SOURCE_DIR points elsewhere by hand.
  const char* dir = std::getenv("VANTOR_SOURCE_DIR");
  return dir ? dir : build::kSourceDir;
}

}  // namespace vantor::test
