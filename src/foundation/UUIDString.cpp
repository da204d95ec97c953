#include "foundation/UUIDString.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace vantor {

std::string newUUIDString() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uint64_t high = generator(), low = generator();
  high = (high & ~0xF000ULL) | 0x4000ULL;                   // version 4
  low = (low & ~(0xC000ULL << 48)) | (0x8000ULL << 48);     // RFC 4122 variant
  char text[37];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
  return text;
}

}  // namespace vantor
