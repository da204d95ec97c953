#include "install/PrivilegedToolRun.h"

#include <cctype>
#include <climits>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/StringHelpers.h"
#include "platform/Authorization.h"
#include "platform/Bundle.h"

namespace vantor {

namespace {

constexpr platform::AuthorizationFlags kCopyRightsFlags = platform::kAuthorizationFlagInteractionAllowed |
                                                          platform::kAuthorizationFlagExtendRights |
                                                          platform::kAuthorizationFlagPreAuthorize;

std::mutex toolPathLock;
std::optional<std::string> toolPathOverride;

std::optional<std::string> toolPath() {
  {
    std::lock_guard<std::mutex> guard(toolPathLock);
    if (toolPathOverride) return toolPathOverride;
  }
  return platform::Bundle::main().pathForResource(PrivilegedToolRun::kToolName);
}

// The integer at the start of the text as a number reader takes it: leading blanks, a
// sign, digits; 0 when there are none, the nearest limit when it is too large.
long integerValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    int digit = text[i] - '0';
    if (value > (LONG_MAX - digit) / 10) return negative ? LONG_MIN : LONG_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace

void PrivilegedToolRun::setToolPathForTesting(std::optional<std::string> path) {
  std::lock_guard<std::mutex> guard(toolPathLock);
  toolPathOverride = std::move(path);
}

std::string PrivilegedToolRun::progressText(std::string_view output) {
  std::size_t last = output.rfind('<');
  std::string_view tail = last == std::string_view::npos ? output : output.substr(last + 1);
  return removed(tail, ">");
}

long PrivilegedToolRun::toolErrorCode(std::string_view output) {
  if (!contains(output, "!") || !contains(output, "?")) return 0;
  std::string_view afterMark = output.substr(output.find('!') + 1);
  return integerValue(afterMark.substr(0, afterMark.find('?')));
}

PrivilegedToolRun::Result PrivilegedToolRun::run(const std::string& fakeAppPath, const std::string& finalPath,
                                                 const std::string& appPath, const ProgressBlock& progress) {
  using namespace platform;
  Result result;

  AuthorizationRef authorization = nullptr;
  if (OSStatus status = AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &authorization);
      status != errAuthorizationSuccess) {
    return {Stage::Create, status, {}, 0};
  }

  AuthorizationItem right{kAuthorizationRightExecute, 0, nullptr, 0};
  AuthorizationRights rights{1, &right};
  if (OSStatus status = AuthorizationCopyRights(authorization, &rights, nullptr, kCopyRightsFlags, nullptr);
      status != errAuthorizationSuccess) {
    AuthorizationFree(authorization, kAuthorizationFlagDestroyRights);
    return {Stage::CopyRights, status, {}, 0};
  }

  std::unique_ptr<AuthorizationPipe> pipe;
  OSStatus status = errAuthorizationToolExecuteFailure;
  // A build without the tool cannot take this road: the same as a tool that fails to start.
  if (auto tool = toolPath())
    status = AuthorizationExecuteWithPrivileges(authorization, *tool, kAuthorizationFlagDefaults,
                                                {fakeAppPath, finalPath, appPath}, &pipe);
  if (status != errAuthorizationSuccess || !pipe) {
    AuthorizationFree(authorization, kAuthorizationFlagDestroyRights);
    return {Stage::Execute, status != errAuthorizationSuccess ? status : errAuthorizationToolExecuteFailure, {}, 0};
  }

  std::vector<char> buffer(kChunkSize);
  for (;;) {
    ssize_t count = pipe->read(buffer.data(), buffer.size());
    if (count <= 0) break;
    std::string_view chunk(buffer.data(), static_cast<std::size_t>(count));
    // A chunk that is not UTF-8 on its own is dropped.
    if (!isValidUTF8(chunk)) continue;
    result.output.append(chunk);
    if (progress) progress(progressText(result.output));
  }
  pipe->close();
  AuthorizationFree(authorization, kAuthorizationFlagDestroyRights);

  if (contains(result.output, "SUCCESS")) {
    result.stage = Stage::Succeeded;
    return result;
  }
  result.stage = Stage::Tool;
  result.errorCode = toolErrorCode(result.output);
  return result;
}

}  // namespace vantor
