#include "platform/CurrentProcess.h"

#include <signal.h>
#include <unistd.h>

namespace vantor::platform {

unsigned CurrentProcess::realUserID() { return ::getuid(); }

void CurrentProcess::ignoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace vantor::platform
