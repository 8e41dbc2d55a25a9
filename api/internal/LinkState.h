#ifndef KELVARION_API_LINKSTATE_H
#define KELVARION_API_LINKSTATE_H
// The private state of a Link, shared by every copy of it and released once,
// when the last copy goes.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Link.h"
#include "aLogger.h"
#include "aThread.h"
#include "platform/wakeup.h"

namespace Mirovane {
namespace Kelvarion {

// How long a request waits for the module's reply.
constexpr uint32_t kReplyWaitMs = 1000;

// One entry of the stream table: a registration (its key has a wildcard
// subindex or other wildcard elements) or a cached value of a concrete key.
struct StreamEntry {
  uint64_t key = 0;
  bool newValue = false;
  streamCallback callback = nullptr;
  void* ref = nullptr;
  uint32_t value = 0;
};

// Lock-free single-producer (the packet link's reader thread, through the
// stream filter), single-consumer (the dispatch worker) ring of callbacks to
// run. One slot always stays free, so 499 items fit.
class DispatchRing {
 public:
  static const uint16_t SLOTS = 500;
  DispatchRing() = default;
  DispatchRing(const DispatchRing&) = delete;
  DispatchRing& operator=(const DispatchRing&) = delete;
  ~DispatchRing() { clear(); }

  // Producer: takes ownership of packet; false (packet released) when full.
  bool push(streamCallback callback, void* ref, aPacket* packet);
  // Consumer: the oldest item, or false when empty. The caller owns *packet.
  bool pop(streamCallback* callback, void** ref, aPacket** packet);
  // Releases every queued packet; only while neither side runs.
  void clear();
  // Items dropped because the ring was full.
  uint32_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  static uint16_t next(uint16_t position) {
    return position + 1 >= SLOTS ? 0 : static_cast<uint16_t>(position + 1);
  }
  struct Slot {
    streamCallback callback = nullptr;
    void* ref = nullptr;
    aPacket* packet = nullptr;
  };
  Slot slots_[SLOTS];
  std::atomic<uint16_t> write_{0};
  std::atomic<uint16_t> read_{0};
  std::atomic<uint32_t> dropped_{0};
};

struct LinkState {
  explicit LinkState(Link* owner, const std::string& name);
  ~LinkState();
  LinkState(const LinkState&) = delete;
  LinkState& operator=(const LinkState&) = delete;

  // Turns streaming off: filter removed, worker stopped, table emptied.
  void stopStreaming();
  // Starts the dispatch worker if none runs; false when it cannot be started.
  bool startWorker();
  void stopWorker();
  void workerLoop();
  // Under the mutex: queues the entry's callback with a copy of packet.
  void dispatch(const StreamEntry& entry, const aPacket* packet);

  Link* owner;
  aLinkRef link = 0;
  aLoggerRef logger = nullptr;
  std::map<uint64_t, StreamEntry> streamTable;
  aThreadRef worker = nullptr;
  DispatchRing ring;
  // Signalled when the ring gets an item and when the worker is to stop; the
  // idle worker sleeps on it.
  platform::Wakeup* workSignal = nullptr;
  std::atomic<bool> stopSignal{false};
  std::mutex tableMutex;
  bool filterInstalled = false;
  std::string name;
  std::unique_ptr<linkSpec> spec;
};

}  // namespace Kelvarion
}  // namespace Mirovane

#endif
