// Rewrites one attribute file over and over, as -G and -U do at their end:
// every round sets each of the keys K000..K<n-1> to "round <r>" and writes
// the file. The store tests kill it at random moments and then check that
// the file holds one whole round.
//
//   settings_rewriter PATH KEYS ROUNDS
#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/AttributeFile.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: settings_rewriter PATH KEYS ROUNDS\n");
    return 2;
  }
  const std::string path = argv[1];
  const int keys = std::atoi(argv[2]);
  const long rounds = std::atol(argv[3]);
  std::printf("ready\n");
  std::fflush(stdout);
  for (long round = 0; round < rounds; ++round) {
    AttributeFile attributes;
    if (attributes.read(path) != aErrNone) return 1;
    const std::string value = "round " + std::to_string(round);
    for (int k = 0; k < keys; ++k) {
      char key[16];
      std::snprintf(key, sizeof key, "K%03d", k);
      attributes.set(key, value);
    }
    if (attributes.write() != aErrNone) return 1;
  }
  return 0;
}
