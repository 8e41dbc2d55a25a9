/* The generic byte stream: operation table, push-back buffer, reads, writes
 * and the pump from one stream into another. */
#include "internal/aStreamPrivate.h"
#include "aTime.h"
#include "platform/wakeup.h"

#include <stdlib.h>
#include <string.h>

namespace {

const uint32_t kPushBackStep = 512;
/* Reads of up to this many bytes collect them on the stack. */
const size_t kLocalRead = 64;

/* Bytes a read took from the transport but could not hand out whole. A ring
 * that grows by kPushBackStep whenever it is one byte short of full. */
struct PushBack {
  uint8_t* storage;
  uint32_t count;
  uint32_t capacity;
  uint32_t readPos;
  uint32_t writePos;
};

}  // namespace

struct aStream {
  aStreamGetProc get;
  aStreamPutProc put;
  aStreamWriteProc write;
  aStreamDestroyProc destroy;
  aStreamWaitProc wait;
  aStreamWakeableWaitProc wakeableWait;
  platform::Wakeup* wakeup; /* ends waits early; may be null */
  void* ref;
  PushBack pushBack;
  uint16_t check;
};

namespace {

/* Moves the contents to the front of a larger block, in order. */
aErr growPushBack(PushBack* pb) {
  uint32_t capacity = pb->capacity + kPushBackStep;
  uint8_t* storage = static_cast<uint8_t*>(malloc(capacity));
  if (!storage)
    return aErrMemory;
  for (uint32_t i = 0; i < pb->count; ++i)
    storage[i] = pb->storage[(pb->readPos + i) % pb->capacity];
  free(pb->storage);
  pb->storage = storage;
  pb->capacity = capacity;
  pb->readPos = 0;
  pb->writePos = pb->count;
  return aErrNone;
}

aErr ensureRoom(PushBack* pb, uint32_t extra) {
  while (pb->capacity == 0 || pb->count + extra >= pb->capacity - 1) {
    aErr err = growPushBack(pb);
    if (err != aErrNone)
      return err;
  }
  return aErrNone;
}

bool popPushBack(PushBack* pb, uint8_t* byte) {
  if (pb->count == 0)
    return false;
  *byte = pb->storage[pb->readPos];
  pb->readPos = (pb->readPos + 1) % pb->capacity;
  --pb->count;
  return true;
}

}  // namespace

bool aStream_IsValid(aStreamRef stream) {
  return stream && stream->check == aSTREAM_CHECK;
}

bool aStream_CanGet(aStreamRef stream) {
  return stream->get != nullptr;
}

aErr aStream_TakeByte(aStreamRef stream, uint8_t* byte) {
  if (popPushBack(&stream->pushBack, byte))
    return aErrNone;
  return stream->get(byte, stream->ref);
}

aErr aStream_Unread(aStreamRef stream, const uint8_t* bytes, size_t count) {
  if (count == 0)
    return aErrNone;
  if (count > UINT32_MAX / 2)
    return aErrSize;
  PushBack* pb = &stream->pushBack;
  aErr err = ensureRoom(pb, static_cast<uint32_t>(count));
  if (err != aErrNone)
    return err;
  for (size_t i = count; i > 0; --i) {
    pb->readPos = (pb->readPos + pb->capacity - 1) % pb->capacity;
    pb->storage[pb->readPos] = bytes[i - 1];
  }
  pb->count += static_cast<uint32_t>(count);
  return aErrNone;
}

aStreamRef aStream_Create(aStreamGetProc get, aStreamPutProc put, aStreamWriteProc write,
                          aStreamDestroyProc destroy, void* ref) {
  aStreamRef stream = static_cast<aStreamRef>(calloc(1, sizeof(aStream)));
  if (!stream)
    return nullptr;
  stream->get = get;
  stream->put = put;
  stream->write = write;
  stream->destroy = destroy;
  stream->ref = ref;
  stream->wakeup = platform::wakeupCreate();
  stream->check = aSTREAM_CHECK;
  return stream;
}

aErr aStream_SetWait(aStreamRef stream, aStreamWaitProc wait) {
  if (!aStream_IsValid(stream))
    return aErrParam;
  stream->wait = wait;
  stream->wakeableWait = nullptr;
  return aErrNone;
}

aErr aStream_SetWakeableWait(aStreamRef stream, aStreamWakeableWaitProc wait) {
  if (!aStream_IsValid(stream))
    return aErrParam;
  stream->wakeableWait = wait;
  stream->wait = nullptr;
  return aErrNone;
}

bool aStream_WaitIsInterruptible(aStreamRef stream) {
  return aStream_IsValid(stream) && stream->wakeableWait && stream->wakeup;
}

aErr aStream_Interrupt(aStreamRef stream) {
  if (!aStream_IsValid(stream))
    return aErrParam;
  platform::wakeupSignal(stream->wakeup);
  return aErrNone;
}

aErr aStream_Destroy(aStreamRef* stream) {
  if (!stream)
    return aErrParam;
  aStreamRef s = *stream;
  *stream = nullptr;
  if (!aStream_IsValid(s))
    return aErrParam;
  aErr err = s->destroy ? s->destroy(s->ref) : aErrNone;
  free(s->pushBack.storage);
  platform::wakeupDestroy(s->wakeup);
  s->check = 0;
  free(s);
  return err;
}

aErr aStream_Read(aStreamRef stream, uint8_t* buffer, size_t count) {
  if (!aStream_IsValid(stream) || !buffer)
    return aErrParam;
  if (!stream->get)
    return aErrMode;
  /* Short reads, such as the link's byte at a time, need no allocation. */
  uint8_t local[kLocalRead];
  uint8_t* taken = count <= kLocalRead ? local : static_cast<uint8_t*>(malloc(count));
  if (!taken)
    return aErrResource;
  size_t have = 0;
  aErr err = aErrNone;
  while (have < count) {
    err = aStream_TakeByte(stream, &taken[have]);
    if (err != aErrNone)
      break;
    ++have;
  }
  if (err == aErrNotReady) {
    /* Nothing is lost: the next read starts with these bytes. */
    aErr kept = aStream_Unread(stream, taken, have);
    if (kept != aErrNone)
      err = kept;
  } else if (err == aErrNone || err == aErrEOF) {
    memcpy(buffer, taken, have);
  }
  if (taken != local)
    free(taken);
  return err;
}

aErr aStream_Wait(aStreamRef stream, uint32_t milliseconds) {
  if (!aStream_IsValid(stream))
    return aErrParam;
  if (!stream->get)
    return aErrMode;
  if (stream->pushBack.count > 0)
    return aErrNone;
  if (stream->wakeableWait)
    return stream->wakeableWait(milliseconds, stream->wakeup, stream->ref);
  if (stream->wait)
    return stream->wait(milliseconds, stream->ref);
  if (stream->wakeup)
    return platform::wakeupWait(stream->wakeup, milliseconds) ? aErrNone : aErrNotReady;
  aTime_MSSleep(milliseconds);
  return aErrNotReady;
}

aErr aStream_Write(aStreamRef stream, const uint8_t* buffer, size_t count) {
  if (!aStream_IsValid(stream) || !buffer)
    return aErrParam;
  if (!stream->write && !stream->put)
    return aErrMode;
  if (stream->write && (count > 1 || !stream->put))
    return stream->write(buffer, count, stream->ref);
  for (size_t i = 0; i < count; ++i) {
    aErr err = stream->put(buffer[i], stream->ref);
    if (err != aErrNone)
      return err;
  }
  return aErrNone;
}

aErr aStream_Flush(aStreamRef source, aStreamRef destination) {
  if (!aStream_IsValid(source) || !aStream_IsValid(destination))
    return aErrParam;
  if (!source->get || !destination->put)
    return aErrMode;
  for (;;) {
    uint8_t byte = 0;
    aErr err = aStream_TakeByte(source, &byte);
    if (err == aErrEOF)
      return aErrNone;
    if (err != aErrNone)
      return err;
    err = destination->put(byte, destination->ref);
    if (err != aErrNone)
      return err;
  }
}
