// The packet link's writer thread and the link's writes to its stream.
#include "internal/aLinkRecord.h"
#include "internal/aPacketFifoWait.h"
#include "platform/time.h"

namespace klv_link {

namespace {

// How long an idle writer waits for a packet before it looks at its flag
// again; stopping wakes it sooner by queueing the stop packet.
const uint32_t kWriterIdleMs = 1000;

void writePacket(LinkRecord* link, const aPacket* packet, bool record) {
  uint8_t wire[kWireMax];
  aStream_Write(link->stream, wire, wireBytes(packet, wire));
  if (record) logPacket(link, aLINK_LOG_SENT, packet);
}

// Writes every queued packet, in order; with the write lock held. Packets
// leave the queue only under that lock, so none can overtake another.
void writeQueued(LinkRecord* link, bool record) {
  const aPacketFifoRef outbound = link->outbound.load();
  while (aPacket* packet = aPacketFifo_Get(outbound)) {
    if (link->stream) writePacket(link, packet, record);
    aPacket_Destroy(&packet);
  }
}

}  // namespace

size_t wireBytes(const aPacket* packet, uint8_t* wire) {
  wire[0] = packet->address;
  wire[1] = packet->dataSize;
  for (uint8_t i = 0; i < packet->dataSize; i++) wire[2 + i] = packet->data[i];
  return packet->dataSize + 2u;
}

aErr writeStream(LinkRecord* link, const uint8_t* bytes, size_t count) {
  if (!link->stream) return aErrConnection;
  std::lock_guard<std::mutex> guard(link->streamWrite);
  return aStream_Write(link->stream, bytes, count);
}

void logPacket(LinkRecord* link, uint8_t direction, const aPacket* packet) {
  std::lock_guard<std::mutex> guard(link->logLock);
  if (!link->log) return;
  uint8_t wire[kWireMax];
  aPacketLog_Put(link->log, direction, static_cast<uint32_t>(wireBytes(packet, wire)), wire);
}

aErr queuePacket(LinkRecord* link, const aPacket* packet) {
  return aPacketFifo_Put(link->outbound.load(), packet);
}

aErr sendPacket(LinkRecord* link, const aPacket* packet, bool mayWait) {
  std::unique_lock<std::mutex> guard(link->streamWrite, std::defer_lock);
  if (mayWait)
    guard.lock();
  else
    guard.try_lock();
  if (!guard.owns_lock() || !link->writing || !link->stream) return queuePacket(link, packet);
  writeQueued(link, true);
  writePacket(link, packet, true);
  return aErrNone;
}

// When asked to stop, the writer sends whatever is still queued (the link
// stop packet last) before it ends.
void writerMain(void* arg) {
  LinkRecord* link = static_cast<LinkRecord*>(arg);
  const aPacketFifoRef outbound = link->outbound.load();
  while (link->writing) {
    if (!aPacketFifo_WaitNotEmpty(outbound, kWriterIdleMs)) continue;
    std::lock_guard<std::mutex> guard(link->streamWrite);
    writeQueued(link, true);
  }
  std::lock_guard<std::mutex> guard(link->streamWrite);
  writeQueued(link, false);
}

}  // namespace klv_link
