#ifndef KELVARION_INTERNAL_ALINKRECORD_H
#define KELVARION_INTERNAL_ALINKRECORD_H
// The packet link's record and the registry that maps link identifiers to
// records. Shared by the files of the packet link only; not installed.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "aLink.h"
#include "internal/aReplySpin.h"

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

  // Reading the stream. Whoever holds streamRead reads it and handles what
  // comes: the reader thread, or a caller awaiting a reply, who then takes
  // its reply without waiting for the reader to wake, read it and wake it in
  // turn (aLinkReply.cpp). The reader never waits for the lock: it steps
  // aside while callers read, parked until none has read for a while.
  std::mutex streamRead;
  std::atomic<bool> readerHolds{false};     // the reader thread holds streamRead
  std::atomic<int32_t> replyReaders{0};     // callers asking the reader for the stream
  std::atomic<uint32_t> callerTurns{0};     // moves on with every caller's turn at the stream
  std::atomic<bool> callersMayRead{false};  // the stream's wait can be interrupted (set by startLink)
  std::atomic<uint32_t> replySpinUs{kReplySpinMaxUs};  // a reading caller's polling budget
  std::mutex parkLock;                      // with `parked`: where the reader steps aside
  std::condition_variable parked;

  // Reading state, under streamRead.
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
// With streamRead held: reads and handles what the stream holds now, up to
// the end of the next complete packet. aErrNone when it handled a byte,
// aErrNotReady when there was nothing to read, the stream's error otherwise
// (the status then shows it). For a caller (onReaderThread false) a packet
// the user filter must see is returned to the stream for the reader thread,
// which runs the filter, and the result is aErrBusy.
aErr readAvailable(LinkRecord* link, bool onReaderThread);
// Whether a user packet filter is installed (it runs on the reader thread).
bool userFilterInstalled(LinkRecord* link);
// Ends the reader thread's step aside early (a stop, or a packet left to it).
void wakeReader(LinkRecord* link);
// Waits up to timeoutMs for the first inbound packet `match` claims, reading
// the stream itself when it can (aLinkReply.cpp).
aPacket* awaitReply(LinkRecord* link, aPacketMatchProc match, const void* matchRef, uint32_t timeoutMs);
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
