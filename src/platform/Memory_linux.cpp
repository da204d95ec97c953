#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace vantor::platform {

void adviseHugePages(void* address, std::size_t length) {
  constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;
  auto begin = reinterpret_cast<std::uintptr_t>(address);
  std::uintptr_t end = begin + length;
  begin = (begin + kHugePage - 1) & ~(kHugePage - 1);
  end &= ~(kHugePage - 1);
  if (end <= begin) return;
  // The advice fails harmlessly on kernels without transparent huge pages.
  (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace vantor::platform
