#ifndef TESTS_STREAM_FAKETRANSPORT_H
#define TESTS_STREAM_FAKETRANSPORT_H
// An in-memory transport whose get hands out queued bytes and then a chosen
// result (aErrNotReady, aErrEOF, ...), and whose put/write record what was
// written, for testing the generic stream alone.
#include <cstdint>
#include <deque>
#include <vector>

#include "aStream.h"

struct FakeTransport {
  std::deque<uint8_t> input;
  aErr whenEmpty = aErrNotReady;
  std::vector<uint8_t> output;
  int putCalls = 0;
  int writeCalls = 0;
  int failPutAfter = -1;  // put fails (aErrWrite) once this many bytes were put
  int destroyed = 0;

  void feed(std::initializer_list<uint8_t> bytes) { input.insert(input.end(), bytes); }
  void feed(const std::vector<uint8_t>& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }

  static aErr get(uint8_t* byte, void* ref) {
    FakeTransport* t = static_cast<FakeTransport*>(ref);
    if (t->input.empty())
      return t->whenEmpty;
    *byte = t->input.front();
    t->input.pop_front();
    return aErrNone;
  }
  static aErr put(uint8_t byte, void* ref) {
    FakeTransport* t = static_cast<FakeTransport*>(ref);
    if (t->failPutAfter >= 0 && t->putCalls >= t->failPutAfter)
      return aErrWrite;
    ++t->putCalls;
    t->output.push_back(byte);
    return aErrNone;
  }
  static aErr write(const uint8_t* buffer, size_t count, void* ref) {
    FakeTransport* t = static_cast<FakeTransport*>(ref);
    ++t->writeCalls;
    t->output.insert(t->output.end(), buffer, buffer + count);
    return aErrNone;
  }
  static aErr destroy(void* ref) {
    ++static_cast<FakeTransport*>(ref)->destroyed;
    return aErrNone;
  }

  aStreamRef reader() { return aStream_Create(get, nullptr, nullptr, destroy, this); }
  aStreamRef full() { return aStream_Create(get, put, write, destroy, this); }
};

#endif
