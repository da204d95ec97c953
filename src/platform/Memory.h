#pragma once
// Hints to the kernel about large buffers that are about to be filled.

#include <cstddef>

namespace vantor::platform {

// Asks for huge pages on the whole pages inside [address, address + length). Filling
// fresh memory page by page costs more than receiving the bytes over loopback; with
// huge pages the first touch of a large download buffer is an order of magnitude
// cheaper. Only a hint: nothing happens where the system does not offer it.
void adviseHugePages(void* address, std::size_t length);

}  // namespace vantor::platform
