#ifndef KELVARION_APACKET_H
#define KELVARION_APACKET_H
/* One link packet: an address byte, a length byte and up to 28 data bytes.
 *
 * On the wire a packet is exactly `address`, `dataSize` and the data bytes.
 * By convention data[0] is the command, data[1] the option and data[2] the
 * index. Packets are always allocated by the functions below and released
 * with aPacket_Destroy; the fields may be read directly. */
#include "aError.h"

/* Largest number of data bytes in a packet. */
#define aPACKET_MAXDATA 28
/* Check word of a valid packet record. */
#define aPACKET_CHECK 0xBEEF

typedef struct aPacket {
  uint16_t check;                 /* aPACKET_CHECK while valid */
  uint8_t received;               /* bytes taken in by aPacket_AddByte (address and length included);
                                     dataSize + 2 for a packet made from data */
  uint8_t address;                /* module address: non-zero and even in a well-formed packet */
  uint8_t dataSize;               /* 0 to aPACKET_MAXDATA */
  uint8_t data[aPACKET_MAXDATA];  /* payload */
} aPacket;

/* True for a non-null packet whose check word is intact. */
#define aVALIDPACKET(p) ((p) != NULL && (p)->check == aPACKET_CHECK)

KLV_EXTERN_C_BEGIN
/* A new empty packet (every field but the check word zero), or null. */
KLV_EXPORT aPacket* aPacket_Create(void);
/* A new packet with `address` and `length` bytes of `data` (received = length + 2);
 * null when memory is short, `length` is above 28, or `data` is null while
 * `length` is above 0. */
KLV_EXPORT aPacket* aPacket_CreateWithData(uint8_t address, uint8_t length, const uint8_t* data);
/* A new packet with the same address and data; null for an invalid packet. */
KLV_EXPORT aPacket* aPacket_Copy(const aPacket* packet);
/* data[0]; aErrParam for a null output, aErrPacket for an invalid or empty packet. */
KLV_EXPORT aErr aPacket_GetCmd(const aPacket* packet, uint8_t* cmd);
/* data[1] & 0x3F; needs at least two data bytes (aErrPacket). */
KLV_EXPORT aErr aPacket_GetOption(const aPacket* packet, uint8_t* option);
/* data[2] & 0x1F; needs at least three data bytes (aErrPacket). */
KLV_EXPORT aErr aPacket_GetIndex(const aPacket* packet, uint8_t* index);
/* Clears every field but the check word; aErrParam for an invalid packet. */
KLV_EXPORT aErr aPacket_Reset(aPacket* packet);
/* Feeds one received byte into a packet being assembled:
 *   aErrParam   invalid packet;
 *   aErrOverrun more than 30 bytes taken without a reset;
 *   aErrPacket  a zero or odd address byte, a length byte of 29 or more,
 *               or a byte beyond the announced length;
 *   aErrNone    byte accepted (test aPacket_IsComplete after each one).
 * After an error the packet keeps its partial content until reset. */
KLV_EXPORT aErr aPacket_AddByte(aPacket* packet, uint8_t byte);
/* True when the packet is valid and holds its address, length and all data bytes. */
KLV_EXPORT bool aPacket_IsComplete(const aPacket* packet);
/* Frees the packet and nulls the caller's pointer; aErrParam when either is null. */
KLV_EXPORT aErr aPacket_Destroy(aPacket** packet);
KLV_EXTERN_C_END

#endif
