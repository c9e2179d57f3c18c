#include "app/run.h"

// The arguments' text and the environment are never read.
int main(int argc, char* argv[], char* envp[]) {
  static_cast<void>(argv);
  static_cast<void>(envp);
  return RunDllmend(argc);
}
