#ifndef KELVARION_INTERNAL_ALINKRECORD_H
#define KELVARION_INTERNAL_ALINKRECORD_H
// The packet link's record and the registry that maps link identifiers to
// records. Shared by the files of the packet link only; not installed.
#include <atomic>
#include <mutex>

#include "aLink.h"

namespace platform {
struct Thread;
}

namespace klv_link {

const uint16_t kLinkCheck = 0xCEED;

// Transport types, as in linkType.
enum Transport { kTransportStream = 0, kTransportUSB = 1, kTransportTCPIP = 2 };

struct LinkRecord {
  uint16_t check = kLinkCheck;
  aLinkRef id = 0;

  // Registry entry: how the link was reached and how many creators share it
  // (both under the registry lock).
  Transport transport = kTransportStream;
  uint32_t key = 0xFFFFFFFFu;  // serial number, IPv4 address, or all ones
  uint16_t port = 0;
  uint16_t references = 0;
  // Callers inside an operation plus one for the registry; the record is
  // freed by whoever drops the last one.
  std::atomic<int32_t> users{1};

  // Serialises start, stop, reset, destruction and making the log.
  std::mutex control;
  bool destroyed = false;  // under control

  std::atomic<bool> running{false};  // the reader keeps going
  std::atomic<bool> writing{false};  // the writer keeps going
  std::atomic<int> status{LINK_STOPPED};
  std::atomic<aPacketFifoRef> inbound{0};
  std::atomic<aPacketFifoRef> outbound{0};
  platform::Thread* reader = nullptr;  // under control
  platform::Thread* writer = nullptr;  // under control
  aStreamRef stream = nullptr;         // used by the threads; replaced only while they are stopped
  std::mutex streamWrite;              // one writer at a time: packets and the resync burst

  // Reader-thread state.
  aPacket* assembly = nullptr;
  int handshake = 0;
  int resyncState = 0;
  uint8_t resyncByte = 1;

  // Packet debug log, all under logLock except the size and flag (control).
  std::mutex logLock;
  aPacketLog* log = nullptr;
  uint32_t logSize = 0;
  bool logEnabled = false;

  // User packet filter; the lock is held while it runs.
  std::mutex filterLock;
  aLinkPacketFilter filter = nullptr;
  void* filterRef = nullptr;
};

// Holds a registered link for the length of one operation.
class LinkUse {
 public:
  explicit LinkUse(aLinkRef id);
  ~LinkUse();
  LinkUse(const LinkUse&) = delete;
  LinkUse& operator=(const LinkUse&) = delete;
  LinkRecord* get() const { return link_; }

 private:
  LinkRecord* link_;
};

// Registry (aLinkRegistry.cpp).
std::mutex& registryLock();
// With the registry lock held: the link of that identifier, or the shared
// link of that transport and key (and port for TCP/IP); null when none.
LinkRecord* registryFind(aLinkRef id);
LinkRecord* registryFindShared(Transport transport, uint32_t key, uint16_t port);
// With the registry lock held: gives the record an identifier and enters it.
void registryInsert(LinkRecord* link);
void registryRemove(LinkRecord* link);
// Drops one use; frees the record with the last one.
void releaseUse(LinkRecord* link);

// Life of a link (aLinkControl.cpp). With link->control held:
// a new record with its queues and assembly packet (null when short of memory).
LinkRecord* newRecord(aStreamRef stream, Transport transport, uint32_t key, uint16_t port);
aErr startLink(LinkRecord* link);
aErr stopLink(LinkRecord* link);
// Stops the link and releases queues, log and stream; the record stays
// until its last use is dropped.
aErr teardownLink(LinkRecord* link);

// Threads (aLinkReader.cpp, aLinkWriter.cpp).
void readerMain(void* link);
void writerMain(void* link);
// A packet as it travels: address, length, data; returns the byte count.
const size_t kWireMax = aPACKET_MAXDATA + 2;
size_t wireBytes(const aPacket* packet, uint8_t* wire);
// Writes the bytes under the stream's write lock.
aErr writeStream(LinkRecord* link, const uint8_t* bytes, size_t count);
// Sends a packet: while the writer runs, written at once on the calling
// thread after whatever is queued ahead of it; else queued for the writer.
// mayWait: wait for another thread's write to end (else queue behind it).
// A packet written at once counts as queued (aErrNone).
aErr sendPacket(LinkRecord* link, const aPacket* packet, bool mayWait);
// Queues a packet for the writer thread.
aErr queuePacket(LinkRecord* link, const aPacket* packet);
// Records a packet's wire bytes in the packet log, if there is one.
void logPacket(LinkRecord* link, uint8_t direction, const aPacket* packet);

}  // namespace klv_link

#endif
