// Uses the installed library as a program of its own would: the procedural
// functions and a class of the object interface.
#include <cstdio>

#include "Kelvarion.h"
#include "aError.h"
#include "aVersion.h"

int main() {
  std::printf("library %s\n", aVersion_GetString());
  std::printf("error %s\n", aError_GetErrorText(aErrTimeout));
  Mirovane::Kelvarion::Module module(2);
  std::printf("module connected %d\n", module.isConnected() ? 1 : 0);
  return 0;
}
