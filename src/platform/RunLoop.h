#pragma once
// The application's main loop and its two queues: the main queue, served by the thread
// that runs runMainLoop(), and the global background queue, a pool of threads that grows
// when every thread is busy (tasks there may block for minutes).

#include <functional>

namespace vantor::platform {

using Task = std::function<void()>;

// The main thread is the thread that first called markMainThread() (main() does).
void markMainThread();
bool isMainThread();

void postToMainQueue(Task task);
void postToMainQueueAfter(double seconds, Task task);
void postToBackgroundQueue(Task task);
void postToBackgroundQueueAfter(double seconds, Task task);

// Serves the main queue on the calling thread until stopMainLoop(); returns its status.
int runMainLoop();
// Ends runMainLoop() after the task that is running now. May be called from any thread.
void stopMainLoop(int status);

// Ends the process at once with status, after flushing standard streams. Used for the
// fatal endings, where other threads may still be at work.
[[noreturn]] void exitProcess(int status);

}  // namespace vantor::platform
