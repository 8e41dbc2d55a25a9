#ifndef TESTS_API_LINKEXCHANGE_H
#define TESTS_API_LINKEXCHANGE_H
// The fixture of the Link's and Module's exchanges: a Module connected to the
// simulated module, with its system entity at hand.
#include "SimFixture.h"

using namespace Mirovane::Kelvarion;

class LinkExchange : public SimFixture {
 protected:
  SystemClass system() {
    SystemClass s;
    s.init(&module, 0);
    return s;
  }
};

#endif
