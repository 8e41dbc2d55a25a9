// The reconnection policies and their one loop.
#include "upgrade/Reconnection.h"

#include "Module.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "aTime.h"

using Mirovane::Kelvarion::Module;

namespace upgrade {

// The attempt counts and intervals are the protocol's: a module restarting
// into its loader is given 5 x 500 ms when LOAD went unanswered, and 15 x
// 1000 ms between the stages; a liveloader 15 x 1000 ms to enumerate.
// clang-format off
//                                                    tries    ms looks for                       pause after last, report
const ReconnectPolicy kReconnectAtLoaderStart       = { 5,  500, LookFor::kSameRoute,            true,  true};
const ReconnectPolicy kReconnectBetweenStages       = {15, 1000, LookFor::kSerialOnItsTransport, false, false};
const ReconnectPolicy kReconnectRoutedBetweenStages = {15, 1000, LookFor::kSameRoute,            false, false};
const ReconnectPolicy kFindLiveloader               = {15, 1000, LookFor::kLiveloaderOnUsb,      false, false};
// clang-format on

std::vector<ReconnectCandidate> reconnectCandidates(LookFor lookFor, linkType reachedBy,
                                                    uint32_t serial) {
  switch (lookFor) {
    case LookFor::kSameRoute:
      return {{true, reachedBy, serial}};
    case LookFor::kSerialOnItsTransport:
      return {{false, reachedBy == LINKTYPE_TCPIP ? LINKTYPE_TCPIP : LINKTYPE_USB, serial}};
    case LookFor::kLiveloaderOnUsb: {
      std::vector<ReconnectCandidate> candidates = {{false, LINKTYPE_USB, PLACEHOLDER_SERIAL}};
      // Serial 0 is no serial number.
      if (serial != 0 && serial != PLACEHOLDER_SERIAL)
        candidates.push_back({false, LINKTYPE_USB, serial});
      return candidates;
    }
  }
  return {};
}

aErr runReconnectAttempts(const ReconnectPolicy& policy,
                          const std::vector<ReconnectCandidate>& candidates,
                          const std::function<aErr(const ReconnectCandidate&)>& tryOne,
                          const std::function<void(uint32_t)>& pause) {
  aErr err = aErrConnection;
  for (int attempt = 1; attempt <= policy.attempts; ++attempt) {
    if (policy.reportAttempts)
      debugPrint(DEBUG_Network, "NETWORK: Attempting to reconnect. Attempt: %d of %d\n", attempt,
                 policy.attempts);
    for (const ReconnectCandidate& candidate : candidates) {
      err = tryOne(candidate);
      if (err != aErrNone) continue;
      if (policy.reportAttempts) debugPrint(DEBUG_Network, "NETWORK: Reconnected to device\n");
      return aErrNone;
    }
    if (attempt == policy.attempts && !policy.pauseAfterLast) break;
    if (policy.reportAttempts)
      debugPrint(DEBUG_Network, "NETWORK: Couldn't reconnect to device delaying: %d ms\n",
                 static_cast<int>(policy.intervalMs));
    pause(policy.intervalMs);
  }
  return err;
}

aErr reconnectModule(Module& module, const ReconnectPolicy& policy, uint32_t serial) {
  linkSpec spec{};
  const linkType reachedBy =
      module.getLinkSpecifier(&spec) == aErrNone ? spec.type : LINKTYPE_USB;
  module.disconnect();
  // Connected means the module is there now, whatever the call said.
  auto tryOne = [&module](const ReconnectCandidate& candidate) -> aErr {
    aErr err = candidate.sameRoute ? module.reconnect()
                                   : module.discoverAndConnect(candidate.type, candidate.serial);
    if (module.isConnected()) return aErrNone;
    return err != aErrNone ? err : aErrConnection;
  };
  return runReconnectAttempts(policy, reconnectCandidates(policy.lookFor, reachedBy, serial),
                              tryOne, [](uint32_t ms) { aTime_MSSleep(ms); });
}

aErr connectUsbThenTcpip(const std::function<aErr(linkType)>& connectOver) {
  const aErr err = connectOver(LINKTYPE_USB);
  return err == aErrNotFound ? connectOver(LINKTYPE_TCPIP) : err;
}

aErr connectUsbThenTcpip(Module& module, uint32_t serial) {
  return connectUsbThenTcpip(
      [&module, serial](linkType type) { return module.connect(type, serial); });
}

}  // namespace upgrade
