#ifndef BENCH_SUPPORT_BENCHNETNS_H
#define BENCH_SUPPORT_BENCHNETNS_H
// Benchmarks that find modules by discovery send multicast, which must stay
// inside a network namespace of our own: the benchmark re-executes itself
// under `unshare -rn` with loopback set up for multicast (loopback and one
// 10.77.0.1 address, as in tests/netns/run_in_netns.sh).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

inline void enterNetworkNamespace(int argc, char** argv, const char* name) {
  const std::string marker = std::string("BENCH_IN_NETNS_") + name;
  if (getenv(marker.c_str())) return;
  setenv(marker.c_str(), "1", 1);
  std::vector<char*> args = {const_cast<char*>("unshare"), const_cast<char*>("-rn"),
                             const_cast<char*>("sh"), const_cast<char*>("-c"),
                             const_cast<char*>("ip link set lo up && ip link set lo multicast on && "
                                               "ip addr add 10.77.0.1/32 dev lo && "
                                               "ip route add 224.0.0.0/4 dev lo && exec \"$0\" \"$@\"")};
  for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  execvp("unshare", args.data());
  fprintf(stderr, "%s: ", name);
  perror("unshare");
  exit(1);
}

#endif
