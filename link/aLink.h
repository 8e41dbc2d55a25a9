#ifndef KELVARION_ALINK_H
#define KELVARION_ALINK_H
/* The packet link: a full-duplex packet channel to one module over a byte
 * stream.
 *
 * A reader thread assembles inbound packets byte by byte, answers the
 * module's heartbeats (two data bytes 0, v are answered with 0, v + 2 from
 * the same address and never queued), resynchronises after framing errors,
 * offers each packet to the optional user filter and queues the rest on the
 * inbound FIFO. While a caller of aLink_AwaitFirst waits for a reply on a
 * socket or serial link, it does that reading itself and the reader thread
 * steps aside, so that the reply reaches it without a thread hand-off; the
 * user filter runs on the reader thread all the same. A writer thread sends
 * queued outbound packets within about 5 ms. Starting a link sends the link start packet (0xAF, 1, 0x01) first;
 * stopping it sends the link stop packet (0xAF, 1, 0x00) last.
 *
 * Links are named by a 32-bit identifier (0 = none). Links to the same USB
 * serial number, or the same IPv4 address and port, are shared: creating one
 * again hands out the same identifier and raises its reference count; each
 * aLink_Destroy lowers it and the last one stops the link.
 *
 * Every function may be called from any thread. Destroying or resetting a
 * link wakes callers waiting on it; they return null. Both queues follow the
 * packet FIFO overflow rule (a put leaving more than 20 packets waiting
 * empties the queue). */
#include "aPacketFifo.h"
#include "aStream.h"

typedef uint32_t aLinkRef;

/* State of a packet link, as aLink_GetStatus reports it. */
typedef enum linkStatus {
  LINK_STOPPED = 0,     /* threads not running */
  LINK_STARTING = 1,    /* threads being started */
  LINK_RUNNING = 2,     /* packets flow */
  LINK_STOPPING = 3,    /* threads being stopped */
  LINK_RESYNCING = 4,   /* a framing error occurred; resynchronisation in progress */
  LINK_INVALID = 5,     /* no stream, or no such link */
  LINK_READ_ERROR = 6,  /* the stream failed (lost connection, dead transport) */
  LINK_QUEUE_ERROR = 8  /* a received packet could not be queued */
} linkStatus;

/* Packet log record directions. */
#define aLINK_LOG_SENT 1      /* written to the module */
#define aLINK_LOG_RECEIVED 2  /* received from the module */
#define aLINK_LOG_TEXT 3      /* text written by the caller */

/* Largest packet log aLink_PacketDebug_SetLogSize accepts (64 MiB). */
#define aLINK_LOG_MAX 0x4000000
/* Packet log size used when none was set. */
#define aLINK_LOG_DEFAULT 65536

/* User packet filter: runs on the reader thread for every received packet
 * (heartbeats included) before it is queued; returning true consumes it.
 * It must return quickly, must not wait for packets of the same link and
 * must not install or remove filters. */
typedef bool (*aLinkPacketFilter)(const aPacket* packet, void* ref);

KLV_EXTERN_C_BEGIN
/* Link to a USB module (shared per serial number); 0 when the module cannot
 * be opened (20 tries) or the link cannot be started. */
KLV_EXPORT aLinkRef aLink_CreateUSB(uint32_t serialNumber);
/* Link to a module over TCP/IP (shared per address and port). `address` is
 * IPv4 in network byte order, `port` in host order. When the connection
 * cannot be made the link is still returned, with status LINK_READ_ERROR;
 * 0 only when it cannot be started. */
KLV_EXPORT aLinkRef aLink_CreateTCPIP(uint32_t address, uint16_t port);
/* A new, unshared link over the caller's stream; the link owns the stream
 * from here on (also on failure, when it is destroyed and 0 returned). */
KLV_EXPORT aLinkRef aLink_Create(aStreamRef stream);
/* Drops one reference and sets *link to 0; the last reference stops the link
 * and frees it. aErrParam for an unknown link. */
KLV_EXPORT aErr aLink_Destroy(aLinkRef* link);
/* Stops the link, makes its transport again (USB or TCP/IP; up to 20 tries,
 * 100 ms apart) with new, empty queues, and starts it. aErrParam for an
 * unknown link or one over a caller's stream. */
KLV_EXPORT aErr aLink_Reset(aLinkRef link);
/* The link's status; LINK_INVALID for an unknown link. */
KLV_EXPORT linkStatus aLink_GetStatus(aLinkRef link);

/* Queues a copy of `packet` for sending. aErrParam for an unknown link or an
 * invalid packet. */
KLV_EXPORT aErr aLink_PutPacket(aLinkRef link, const aPacket* packet);
/* The oldest received packet or null, without waiting. */
KLV_EXPORT aPacket* aLink_GetPacket(aLinkRef link);
/* The oldest received packet, waiting up to timeoutMs; null on timeout. */
KLV_EXPORT aPacket* aLink_AwaitPacket(aLinkRef link, uint32_t timeoutMs);
/* aPacketFifo_GetFirst on the inbound queue (waits while it is empty). */
KLV_EXPORT aPacket* aLink_GetFirst(aLinkRef link, aPacketMatchProc match, const void* matchRef);
/* The first received packet `match` claims within timeoutMs, or null. Returns
 * null at once (or as soon as it changes) while the link is not running with
 * status LINK_RUNNING. Unclaimed packets age out (see aPacketFifo.h), here as
 * other packets arrive: a waiting caller passes again over packets it has
 * passed over only when a new one comes, so a reply that arrives just before
 * its own caller starts waiting is still there for it. */
KLV_EXPORT aPacket* aLink_AwaitFirst(aLinkRef link, aPacketMatchProc match, const void* matchRef,
                                    uint32_t timeoutMs);
/* Removes and frees every received packet `match` claims; returns how many. */
KLV_EXPORT uint32_t aLink_DrainPackets(aLinkRef link, aPacketMatchProc match, const void* matchRef);
/* Installs the user packet filter, or removes it with a null filter. When it
 * returns, a filter call in progress has finished (so the old filter's
 * reference may be freed); for the same reason it must not be called while
 * holding a lock that the filter itself takes. aErrParam for an unknown link. */
KLV_EXPORT aErr aLink_InstallUserPacketFilter(aLinkRef link, aLinkPacketFilter filter, void* filterRef);

/* Packet debug log. Once enabled, every packet sent (direction 1) and
 * received (direction 2) is recorded as its wire bytes until the link is
 * destroyed; the oldest records give way to new ones. */
/* Sets the size for the next Enable: aErrParam for an unknown link or more
 * than aLINK_LOG_MAX bytes, aErrBusy once the log exists; negative = 0. */
KLV_EXPORT aErr aLink_PacketDebug_SetLogSize(aLinkRef link, int32_t bytes);
/* Makes the log (aLINK_LOG_DEFAULT bytes when no size was set) and marks it
 * enabled. aErrResource when it cannot be made. */
KLV_EXPORT aErr aLink_PacketDebug_Enable(aLinkRef link);
/* Marks the log disabled; aErrNotReady when there is no log. */
KLV_EXPORT aErr aLink_PacketDebug_Disable(aLinkRef link);
/* aPacketLog_Get on the link's log; aErrNotReady when there is no log. */
KLV_EXPORT aErr aLink_PacketDebug_Read(aLinkRef link, uint8_t* direction, uint32_t* length, uint8_t* buffer);
/* aPacketLog_Put on the link's log; aErrNotReady when there is no log. */
KLV_EXPORT aErr aLink_PacketDebug_Write(aLinkRef link, uint8_t direction, uint32_t length, const uint8_t* bytes);
KLV_EXTERN_C_END

#endif
