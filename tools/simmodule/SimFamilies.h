#ifndef SIMMODULE_SIMFAMILIES_H
#define SIMMODULE_SIMFAMILIES_H
// Command families of the simulated module. Each family lives in a file of
// its own and has an install function that registers its handlers (and, if
// it needs them, tickers and state) on a module:
//
//   void installEchoFamily(Module& module) {
//     module.onCommand(23, [](Module& m, const Packet& p) { m.send(p.data, p.length); });
//   }
//
// and one line in installStandardFamilies (SimFamilies.cpp) so that every
// module, the primary and the ones behind it, gets it. Handlers run on the
// simulator's thread with its lock held: answer with Module::send, keep
// state in Module::state<T>("family"), never wait.
#include "SimModule.h"

namespace simmodule {

}  // namespace simmodule

#endif
