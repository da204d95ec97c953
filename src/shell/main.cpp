#include <string>
#include <vector>

#include "platform/RunLoop.h"
#include "shell/AppDelegate.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  int status = vantor::AppDelegate::applicationMain(arguments);
  // Background work may still run; end here rather than in static destructors.
  vantor::platform::exitProcess(status);
}
