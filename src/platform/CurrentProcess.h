#pragma once
// Facts and settings of the running process that small tools need.

namespace vantor::platform {

class CurrentProcess {
 public:
  // The user who started the process (not the one whose rights it may have gained).
  static unsigned realUserID();
  // A write to a pipe whose reader went away fails with EPIPE instead of ending the
  // process, so that work in progress is finished rather than cut off between steps.
  static void ignoreBrokenPipes();
};

}  // namespace vantor::platform
