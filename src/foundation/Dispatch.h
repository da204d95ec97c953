#pragma once
// Thread hopping: the main queue is served by the main loop; "back" is the global
// background queue.

#include <functional>

namespace vantor {

using Block = std::function<void()>;

void dispatch_async_main(Block block);
void dispatch_sync_main(Block block);          // runs at once on the main thread
void dispatch_after_main(float delay, Block block);
void dispatch_after_back(float delay, Block block);
void dispatch_async_back(Block block);
void dispatch_sync_back(Block block);
// true when the wait timed out (the block goes on running), false when it finished.
bool dispatch_async_back_timeout(Block block, float timeout);

// Runs block, then waits until dispatch_async_to_sync_resulthandler() delivers a result;
// one such call at a time in the whole process.
void* dispatch_async_to_sync(Block block);
void dispatch_async_to_sync_resulthandler(void* result);

bool isMainThread();

}  // namespace vantor
