#ifndef KELVARION_ASTREAM_H
#define KELVARION_ASTREAM_H
/* Byte streams: one record with a small table of operations over a transport
 * (file, serial port, TCP socket, USB) and a push-back buffer.
 *
 * Reads never block for long: a read that finds no byte yet returns
 * aErrNotReady and may be repeated. aStream_Read hands out exactly the bytes
 * asked for or none; bytes it took but could not hand out whole are kept and
 * given out first by the next read. */
#include "aError.h"

typedef struct aStream* aStreamRef;

/* Transport operations; ref is the transport's own record. */
/* Reads one byte into *byte: aErrNone, aErrNotReady (nothing yet), aErrEOF or another error. */
typedef aErr (*aStreamGetProc)(uint8_t* byte, void* ref);
/* Writes one byte. */
typedef aErr (*aStreamPutProc)(uint8_t byte, void* ref);
/* Writes count bytes. */
typedef aErr (*aStreamWriteProc)(const uint8_t* buffer, size_t count, void* ref);
/* Releases the transport record. */
typedef aErr (*aStreamDestroyProc)(void* ref);
/* Waits at most milliseconds for something to read: aErrNone as soon as a
 * get would not answer aErrNotReady (a byte, or a failure or end it has to
 * report), aErrNotReady when the time ran out. It may wake early; the get
 * that follows decides. */
typedef aErr (*aStreamWaitProc)(uint32_t milliseconds, void* ref);

/* Serial rates selected by baud code 0-7. */
enum {
  aSERIAL_BAUD_2400 = 0,
  aSERIAL_BAUD_4800 = 1,
  aSERIAL_BAUD_9600 = 2,
  aSERIAL_BAUD_19200 = 3,
  aSERIAL_BAUD_38400 = 4,
  aSERIAL_BAUD_57600 = 5,
  aSERIAL_BAUD_115200 = 6,
  aSERIAL_BAUD_230400 = 7
};

KLV_EXTERN_C_BEGIN

/* Generic stream. Any operation may be null (absent). Returns null when no
 * memory is left. */
KLV_EXPORT aStreamRef aStream_Create(aStreamGetProc get, aStreamPutProc put, aStreamWriteProc write,
                                     aStreamDestroyProc destroy, void* ref);
/* Gives the stream a wait operation (null removes it). */
KLV_EXPORT aErr aStream_SetWait(aStreamRef stream, aStreamWaitProc wait);
/* Calls destroy(ref) and returns its result; frees the stream and clears *stream
 * (also for an invalid stream, which gives aErrParam). */
KLV_EXPORT aErr aStream_Destroy(aStreamRef* stream);

/* Exactly count bytes or none. aErrNotReady keeps the bytes taken so far for
 * the next read. */
KLV_EXPORT aErr aStream_Read(aStreamRef stream, uint8_t* buffer, size_t count);
/* Waits at most milliseconds until a read can make progress: aErrNone at once
 * while bytes are kept from an earlier read, else as soon as the transport has
 * a byte (or a failure or end that the next read reports); aErrNotReady when
 * the time ran out. A transport without a wait operation is waited for by
 * sleeping the whole time (then aErrNotReady) unless aStream_Interrupt ends
 * the sleep (then aErrNone). aErrMode for a stream that cannot be read. */
KLV_EXPORT aErr aStream_Wait(aStreamRef stream, uint32_t milliseconds);
/* Ends a wait in progress on the stream at once, or the next one when none
 * is in progress; for whoever stops the stream's reading thread. A wait of a
 * transport given by aStream_SetWait runs to its own time limit. */
KLV_EXPORT aErr aStream_Interrupt(aStreamRef stream);
/* One write of the whole buffer when the transport has write and count > 1,
 * else one put per byte. */
KLV_EXPORT aErr aStream_Write(aStreamRef stream, const uint8_t* buffer, size_t count);

/* Bytes up to (not including) the delimiter sequence, at most capacity bytes;
 * *length receives the count. The end of the stream after at least one byte
 * ends the record normally. */
KLV_EXPORT aErr aStream_ReadRecord(aStreamRef stream, uint8_t* buffer, size_t* length, size_t capacity,
                                   const uint8_t* delimiter, size_t delimiterLength);
/* The data, then the delimiter. */
KLV_EXPORT aErr aStream_WriteRecord(aStreamRef stream, const uint8_t* data, size_t count,
                                    const uint8_t* delimiter, size_t delimiterLength);
/* A zero-terminated string of at most size - 1 characters; buffer is terminated. */
KLV_EXPORT aErr aStream_ReadCString(aStreamRef stream, char* buffer, size_t size);
/* The text's characters, then one zero byte. */
KLV_EXPORT aErr aStream_WriteCString(aStreamRef stream, const char* text);
/* Characters up to delimiterText (without its zero), at most size - 1; terminated. */
KLV_EXPORT aErr aStream_ReadCStringRecord(aStreamRef stream, char* buffer, size_t size, const char* delimiterText);
/* The text's characters, then delimiterText including its terminating zero. */
KLV_EXPORT aErr aStream_WriteCStringRecord(aStreamRef stream, const char* text, const char* delimiterText);
/* Moves bytes one at a time from source to destination until the source
 * reports an error; the end of the source gives aErrNone. */
KLV_EXPORT aErr aStream_Flush(aStreamRef source, aStreamRef destination);

/* Transports. Each stores the new stream through the last argument. */
/* Reads path byte by byte (aErrEOF at its end). */
KLV_EXPORT aErr aStream_CreateFileInput(const char* path, aStreamRef* stream);
/* Creates or truncates path; writes go through to the file. */
KLV_EXPORT aErr aStream_CreateFileOutput(const char* path, aStreamRef* stream);
/* Opens the serial port portName (e.g. "/dev/ttyUSB0"): baud code 0-7
 * (aErrRange otherwise), parity 1 = odd, 0 = none; sevenBits and twoStopBits
 * 0 or 1 (aErrMode otherwise). Reads return at once. The port's settings are
 * restored when the stream is destroyed. */
KLV_EXPORT aErr aStream_CreateSerial(const char* portName, uint32_t baudCode, uint32_t parity, uint32_t sevenBits,
                                     uint32_t twoStopBits, aStreamRef* stream);
/* TCP connection to address (IPv4, network byte order) and port (host order).
 * Reconnects by itself when the peer resets the connection; a peer that closes
 * the connection in order makes the stream report aErrConnection from then on. */
KLV_EXPORT aErr aStream_CreateSocket(uint32_t address, uint16_t port, aStreamRef* stream);
/* The link interface of the USB module with this serial number. aErrNotFound
 * when no such module is present, aErrBusy when another process holds it. */
KLV_EXPORT aErr aStream_CreateUSB(uint32_t serialNumber, aStreamRef* stream);

KLV_EXTERN_C_END

#endif
