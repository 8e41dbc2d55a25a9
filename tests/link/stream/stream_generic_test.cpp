// The generic stream: push-back, all-or-nothing reads, records, C strings,
// writes and the pump, over an in-memory transport.
#include <gtest/gtest.h>

#include <string>

#include "FakeTransport.h"

namespace {

std::vector<uint8_t> bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(StreamRead, NotReadyKeepsPartialBytesForNextRead) {
  FakeTransport t;
  aStreamRef s = t.reader();
  t.feed({1, 2});
  uint8_t buf[4] = {0};
  EXPECT_EQ(aErrNotReady, aStream_Read(s, buf, 4));
  EXPECT_EQ(aErrNotReady, aStream_Read(s, buf, 4));  // still only two
  t.feed({3, 4, 5});
  ASSERT_EQ(aErrNone, aStream_Read(s, buf, 4));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}), std::vector<uint8_t>(buf, buf + 4));
  ASSERT_EQ(aErrNone, aStream_Read(s, buf, 1));
  EXPECT_EQ(5, buf[0]);
  EXPECT_EQ(aErrNone, aStream_Destroy(&s));
  EXPECT_EQ(nullptr, s);
  EXPECT_EQ(1, t.destroyed);
}

// Without a wait operation a wait is a sleep; with one, the transport
// decides, except that bytes kept from an earlier read are ready at once.
TEST(StreamWait, PushBackFirstThenTheTransportsWaitOrASleep) {
  FakeTransport t;
  aStreamRef s = t.reader();
  EXPECT_EQ(aErrNotReady, aStream_Wait(s, 1));
  t.feed({1});
  uint8_t buf[2];
  ASSERT_EQ(aErrNotReady, aStream_Read(s, buf, 2));  // keeps the 1
  static int waits;
  waits = 0;
  ASSERT_EQ(aErrNone, aStream_SetWait(s, [](uint32_t, void*) -> aErr {
              ++waits;
              return aErrNotReady;
            }));
  EXPECT_EQ(aErrNone, aStream_Wait(s, 0));
  EXPECT_EQ(0, waits);
  ASSERT_EQ(aErrNone, aStream_Read(s, buf, 1));
  EXPECT_EQ(1, buf[0]);
  EXPECT_EQ(aErrNotReady, aStream_Wait(s, 5));
  EXPECT_EQ(1, waits);
  aStream_Destroy(&s);
  aStreamRef writeOnly = aStream_Create(nullptr, FakeTransport::put, nullptr, nullptr, &t);
  EXPECT_EQ(aErrMode, aStream_Wait(writeOnly, 1));
  aStream_Destroy(&writeOnly);
  EXPECT_EQ(aErrParam, aStream_Wait(nullptr, 1));
  EXPECT_EQ(aErrParam, aStream_SetWait(nullptr, nullptr));
}

TEST(StreamRead, LargePushBackGrowsWithoutLoss) {
  FakeTransport t;
  aStreamRef s = t.reader();
  std::vector<uint8_t> data(3000);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 7);
  t.feed(std::vector<uint8_t>(data.begin(), data.begin() + 1500));
  std::vector<uint8_t> out(3000);
  EXPECT_EQ(aErrNotReady, aStream_Read(s, out.data(), out.size()));
  // A smaller read is served from the push-back buffer alone.
  ASSERT_EQ(aErrNone, aStream_Read(s, out.data(), 10));
  EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 10), std::vector<uint8_t>(out.begin(), out.begin() + 10));
  t.feed(std::vector<uint8_t>(data.begin() + 1500, data.end()));
  ASSERT_EQ(aErrNone, aStream_Read(s, out.data(), 2990));
  EXPECT_EQ(std::vector<uint8_t>(data.begin() + 10, data.end()), std::vector<uint8_t>(out.begin(), out.begin() + 2990));
  aStream_Destroy(&s);
}

TEST(StreamRead, EndOfStreamAndErrors) {
  FakeTransport t;
  t.whenEmpty = aErrEOF;
  aStreamRef s = t.reader();
  t.feed({9});
  uint8_t buf[2] = {0, 0};
  EXPECT_EQ(aErrEOF, aStream_Read(s, buf, 2));
  EXPECT_EQ(9, buf[0]);
  t.whenEmpty = aErrIO;
  EXPECT_EQ(aErrIO, aStream_Read(s, buf, 1));
  EXPECT_EQ(aErrParam, aStream_Read(s, nullptr, 1));
  aStream_Destroy(&s);

  aStreamRef writeOnly = aStream_Create(nullptr, FakeTransport::put, nullptr, nullptr, &t);
  EXPECT_EQ(aErrMode, aStream_Read(writeOnly, buf, 1));
  aStream_Destroy(&writeOnly);
}

TEST(StreamCheck, InvalidStreamsAreRefused) {
  uint8_t buf[4];
  EXPECT_EQ(aErrParam, aStream_Read(nullptr, buf, 1));
  EXPECT_EQ(aErrParam, aStream_Write(nullptr, buf, 1));
  EXPECT_EQ(aErrParam, aStream_Flush(nullptr, nullptr));
  aStreamRef none = nullptr;
  EXPECT_EQ(aErrParam, aStream_Destroy(&none));
  EXPECT_EQ(aErrParam, aStream_Destroy(nullptr));
  // A record whose check word is wrong (here: memory that is not a stream).
  alignas(16) uint8_t junk[256] = {0};
  aStreamRef fake = reinterpret_cast<aStreamRef>(junk);
  EXPECT_EQ(aErrParam, aStream_Read(fake, buf, 1));
  EXPECT_EQ(aErrParam, aStream_WriteCString(fake, "x"));
  size_t length = 0;
  EXPECT_EQ(aErrParam, aStream_ReadRecord(fake, buf, &length, 4, buf, 1));
}

TEST(StreamWrite, WriteOperationAndPutFallback) {
  FakeTransport t;
  aStreamRef full = t.full();
  const uint8_t data[] = {1, 2, 3};
  ASSERT_EQ(aErrNone, aStream_Write(full, data, 3));
  EXPECT_EQ(1, t.writeCalls);
  EXPECT_EQ(0, t.putCalls);
  ASSERT_EQ(aErrNone, aStream_Write(full, data, 1));  // one byte goes through put
  EXPECT_EQ(1, t.putCalls);
  aStream_Destroy(&full);

  FakeTransport w;
  aStreamRef writeOnly = aStream_Create(nullptr, nullptr, FakeTransport::write, nullptr, &w);
  ASSERT_EQ(aErrNone, aStream_Write(writeOnly, data, 1));
  EXPECT_EQ(1, w.writeCalls);
  EXPECT_EQ(aErrParam, aStream_Write(writeOnly, nullptr, 1));
  aStream_Destroy(&writeOnly);

  FakeTransport p;
  p.failPutAfter = 2;
  aStreamRef putOnly = aStream_Create(nullptr, FakeTransport::put, nullptr, nullptr, &p);
  EXPECT_EQ(aErrWrite, aStream_Write(putOnly, data, 3));
  EXPECT_EQ((std::vector<uint8_t>{1, 2}), p.output);
  aStream_Destroy(&putOnly);

  aStreamRef readOnly = t.reader();
  EXPECT_EQ(aErrMode, aStream_Write(readOnly, data, 1));
  aStream_Destroy(&readOnly);
}

TEST(StreamRecord, DelimitedRecords) {
  FakeTransport t;
  t.whenEmpty = aErrEOF;
  aStreamRef s = t.reader();
  t.feed(bytes("one\r\ntwo\r\nthree"));
  const uint8_t crlf[] = {'\r', '\n'};
  uint8_t buf[16];
  size_t length = 0;
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ("one", std::string(buf, buf + length));
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ("two", std::string(buf, buf + length));
  // The end of the stream after some bytes ends the record normally ...
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ("three", std::string(buf, buf + length));
  // ... and with nothing read it is reported.
  EXPECT_EQ(aErrEOF, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ(aErrParam, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 0));
  EXPECT_EQ(aErrParam, aStream_ReadRecord(s, buf, &length, sizeof buf, nullptr, 1));
  aStream_Destroy(&s);
}

TEST(StreamRecord, PartialDelimiterMatchIsRecordData) {
  FakeTransport t;
  t.whenEmpty = aErrEOF;
  aStreamRef s = t.reader();
  t.feed(bytes("a\rb\r\nc\r"));
  const uint8_t crlf[] = {'\r', '\n'};
  uint8_t buf[16];
  size_t length = 0;
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ("a\rb", std::string(buf, buf + length));
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ("c\r", std::string(buf, buf + length));
  aStream_Destroy(&s);
}

TEST(StreamRecord, NotReadyLosesNothingIncludingPartialDelimiter) {
  FakeTransport t;
  aStreamRef s = t.reader();
  t.feed(bytes("ab\r"));
  const uint8_t crlf[] = {'\r', '\n'};
  uint8_t buf[16];
  size_t length = 99;
  EXPECT_EQ(aErrNotReady, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  t.feed(bytes("\nxyz"));
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ("ab", std::string(buf, buf + length));
  uint8_t rest[3];
  ASSERT_EQ(aErrNone, aStream_Read(s, rest, 3));
  EXPECT_EQ("xyz", std::string(rest, rest + 3));
  aStream_Destroy(&s);
}

TEST(StreamRecord, FullBufferStopsAndLeavesTheRest) {
  FakeTransport t;
  aStreamRef s = t.reader();
  t.feed({'a', 'b', 'c', 'd', 'e', 0});
  char text[4];
  ASSERT_EQ(aErrNone, aStream_ReadCString(s, text, sizeof text));
  EXPECT_STREQ("abc", text);
  uint8_t rest[3];
  ASSERT_EQ(aErrNone, aStream_Read(s, rest, 3));
  EXPECT_EQ((std::vector<uint8_t>{'d', 'e', 0}), std::vector<uint8_t>(rest, rest + 3));
  // A buffer that fills while a delimiter is half matched keeps those bytes.
  t.feed(bytes("xy\r\r\n"));
  const uint8_t crlf[] = {'\r', '\n'};
  uint8_t buf[3];
  size_t length = 0;
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ("xy\r", std::string(buf, buf + length));
  ASSERT_EQ(aErrNone, aStream_ReadRecord(s, buf, &length, sizeof buf, crlf, 2));
  EXPECT_EQ(0u, length);  // the "\r\n" that was left
  aStream_Destroy(&s);
}

TEST(StreamCString, RoundTripThroughWriteAndRead) {
  FakeTransport out;
  aStreamRef w = aStream_Create(nullptr, FakeTransport::put, FakeTransport::write, nullptr, &out);
  ASSERT_EQ(aErrNone, aStream_WriteCString(w, "hello"));
  ASSERT_EQ(aErrNone, aStream_WriteCStringRecord(w, "line", "\r\n"));
  ASSERT_EQ(aErrNone, aStream_WriteRecord(w, reinterpret_cast<const uint8_t*>("ab"), 2,
                                          reinterpret_cast<const uint8_t*>("|"), 1));
  EXPECT_EQ(bytes(std::string("hello\0line\r\n\0ab|", 16)), out.output);
  aStream_Destroy(&w);

  FakeTransport in;
  in.whenEmpty = aErrEOF;
  in.feed(out.output);
  aStreamRef r = in.reader();
  char text[16];
  ASSERT_EQ(aErrNone, aStream_ReadCString(r, text, sizeof text));
  EXPECT_STREQ("hello", text);
  ASSERT_EQ(aErrNone, aStream_ReadCStringRecord(r, text, sizeof text, "\r\n"));
  EXPECT_STREQ("line", text);
  ASSERT_EQ(aErrNone, aStream_ReadCString(r, text, sizeof text));
  EXPECT_STREQ("", text);  // the delimiter's own zero byte
  EXPECT_EQ(aErrParam, aStream_ReadCString(r, nullptr, 4));
  aStream_Destroy(&r);
}

TEST(StreamFlush, PumpsPushedBackBytesFirstUntilEndOfSource) {
  FakeTransport in, out;
  in.feed({1, 2});
  aStreamRef src = in.reader();
  aStreamRef dst = aStream_Create(nullptr, FakeTransport::put, nullptr, nullptr, &out);
  uint8_t buf[4];
  EXPECT_EQ(aErrNotReady, aStream_Read(src, buf, 4));  // 1, 2 kept back
  in.feed({3, 4});
  in.whenEmpty = aErrEOF;
  ASSERT_EQ(aErrNone, aStream_Flush(src, dst));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}), out.output);
  EXPECT_EQ(aErrMode, aStream_Flush(dst, src));
  in.feed({7});
  in.whenEmpty = aErrIO;
  EXPECT_EQ(aErrIO, aStream_Flush(src, dst));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 7}), out.output);
  out.failPutAfter = 0;
  in.feed({8});
  EXPECT_EQ(aErrWrite, aStream_Flush(src, dst));
  aStream_Destroy(&src);
  aStream_Destroy(&dst);
}

}  // namespace
