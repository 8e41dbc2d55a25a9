#ifndef UPDATER_UPGRADE_RECONNECTION_H
#define UPDATER_UPGRADE_RECONNECTION_H
// Reaching a module, and finding it again when it drops off the link during
// an upgrade (restarting into its loader) or appears as a liveloader after a
// recovery started one. This is the one place that knows how many attempts
// are made, how far apart, and what each attempt looks for.
#include <cstdint>
#include <functional>
#include <vector>

#include "aDiscovery.h"
#include "aError.h"

namespace Mirovane { namespace Kelvarion { class Module; } }

namespace upgrade {

// What one attempt looks for.
enum class LookFor {
  kSameRoute,             // the module's own route again (Module::reconnect)
  kSerialOnItsTransport,  // its serial number, discovered over the transport
                          // it was reached by (USB, or TCP/IP)
  kLiveloaderOnUsb,       // on USB: the placeholder serial number, then the
                          // module's own
};

struct ReconnectPolicy {
  int attempts;
  uint32_t intervalMs;
  LookFor lookFor;
  bool pauseAfterLast;  // the pause follows the last failed attempt too
  bool reportAttempts;  // each attempt is told on DEBUG_Network
};

// LOAD had no reply: the module may be restarting into its loader.
extern const ReconnectPolicy kReconnectAtLoaderStart;
// Between the loader and the firmware stage, for a module reached directly
// and for one reached through a routing module.
extern const ReconnectPolicy kReconnectBetweenStages;
extern const ReconnectPolicy kReconnectRoutedBetweenStages;
// A liveloader started by recovery, enumerating on USB.
extern const ReconnectPolicy kFindLiveloader;

// One thing an attempt tries.
struct ReconnectCandidate {
  bool sameRoute;  // Module::reconnect; type and serial are not used
  linkType type;
  uint32_t serial;
};

// What lookFor means for a module of serial number serial that was reached
// over reachedBy (USB when unknown), in the order it is tried.
std::vector<ReconnectCandidate> reconnectCandidates(LookFor lookFor, linkType reachedBy,
                                                    uint32_t serial);

// The attempts of policy: every candidate in turn, until tryOne reports the
// module connected (aErrNone), with pause(intervalMs) between attempts. The
// result is aErrNone or the error of the last candidate tried.
aErr runReconnectAttempts(const ReconnectPolicy& policy,
                          const std::vector<ReconnectCandidate>& candidates,
                          const std::function<aErr(const ReconnectCandidate&)>& tryOne,
                          const std::function<void(uint32_t)>& pause);

// Drops what is left of the module's link and finds it again as policy says.
aErr reconnectModule(Mirovane::Kelvarion::Module& module, const ReconnectPolicy& policy,
                     uint32_t serial);

// The first connection by serial number: USB first, then TCP/IP when USB does
// not know the module (aErrNotFound); another USB failure is final.
aErr connectUsbThenTcpip(const std::function<aErr(linkType)>& connectOver);
aErr connectUsbThenTcpip(Mirovane::Kelvarion::Module& module, uint32_t serial);

}  // namespace upgrade

#endif
