// The packet link's writer thread and the link's writes to its stream.
#include "internal/aLinkRecord.h"
#include "platform/time.h"

namespace klv_link {

namespace {

// How long the writer waits for a packet before it looks at its flag again.
const uint32_t kWriterPollMs = 5;

void sendPacket(LinkRecord* link, aPacket* packet, bool record) {
  uint8_t wire[kWireMax];
  writeStream(link, wire, wireBytes(packet, wire));
  if (record) logPacket(link, aLINK_LOG_SENT, packet);
  aPacket_Destroy(&packet);
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

// When asked to stop, the writer sends whatever is still queued (the link
// stop packet last) before it ends.
void writerMain(void* arg) {
  LinkRecord* link = static_cast<LinkRecord*>(arg);
  const aPacketFifoRef outbound = link->outbound.load();
  while (link->writing) {
    aPacket* packet = aPacketFifo_Await(outbound, kWriterPollMs);
    if (packet) sendPacket(link, packet, true);
  }
  while (aPacket* packet = aPacketFifo_Get(outbound)) sendPacket(link, packet, false);
}

}  // namespace klv_link
