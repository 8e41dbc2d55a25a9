// The stream facility: keys and packets, the value cache behind gets,
// callbacks on the dispatch worker, registration with the module.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "SimFixture.h"

using namespace Mirovane::Kelvarion;

namespace {

aPacket* packet(uint8_t address, std::initializer_list<uint8_t> bytes) {
  std::vector<uint8_t> data(bytes);
  return aPacket_CreateWithData(address, static_cast<uint8_t>(data.size()), data.data());
}

aPacket* fromSim(const simmodule::Packet& p) { return aPacket_CreateWithData(p.address, p.length, p.data); }

// Records every callback: the values in arrival order and the threads.
struct Recorder {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<uint32_t> values;
  std::vector<uint8_t> types;
  std::set<std::thread::id> threads;
  bool hold = false;

  static aErr callback(const aPacket* p, void* ref) {
    Recorder* r = static_cast<Recorder*>(ref);
    std::unique_lock<std::mutex> guard(r->lock);
    uint32_t value = 0;
    Link::getStreamSample(p, nullptr, &value, nullptr);
    r->values.push_back(value);
    r->types.push_back(p->data[3]);
    r->threads.insert(std::this_thread::get_id());
    r->changed.notify_all();
    r->changed.wait(guard, [r] { return !r->hold; });
    return aErrNone;
  }
  bool waitFor(size_t count, uint32_t timeoutMs = 10000) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return values.size() >= count; });
  }
  void release() {
    std::lock_guard<std::mutex> guard(lock);
    hold = false;
    changed.notify_all();
  }
  size_t count() {
    std::lock_guard<std::mutex> guard(lock);
    return values.size();
  }
};

}  // namespace

// ---- Keys and packets ------------------------------------------------------------

TEST(StreamKeys, ElementsAndTimestamps) {
  uint64_t key = Link::createStreamKey(2, 3, 4, 5, 6);
  EXPECT_EQ(0x0000000602030405ull, key);
  for (int e = 0; e <= 4; ++e) EXPECT_EQ(2 + e, Link::getStreamKeyElement(key, e));
  EXPECT_EQ(0, Link::getStreamKeyElement(key, 5));
  uint32_t high = 0, low = 0;
  Link::getTimestampParts(0x0102030405060708ull, &high, &low);
  EXPECT_EQ(0x01020304u, high);
  EXPECT_EQ(0x05060708u, low);
  Link::getTimestampParts(1, nullptr, &low);
  EXPECT_EQ(1u, low);
}

TEST(StreamPackets, Recognition) {
  simmodule::Packet u16 = simmodule::makeStreamSample(2, 30, 2, 1, 2, 0x1122334455667788ull, 0xBEEF, 0);
  aPacket* p = fromSim(u16);
  EXPECT_TRUE(Link::isStreamPacket(p));
  EXPECT_TRUE(Link::isStreamSample(p));
  STREAM_PACKET type;
  EXPECT_TRUE(Link::getStreamPacketType(p, &type));
  EXPECT_EQ(STREAM_PACKET_U16, type);
  uint64_t stamp = 0;
  uint32_t value = 0;
  uint8_t sub = 9;
  EXPECT_EQ(aErrNone, Link::getStreamSample(p, &stamp, &value, &sub));
  EXPECT_EQ(0x1122334455667788ull, stamp);
  EXPECT_EQ(0xBEEFu, value);
  EXPECT_EQ(0, sub);
  aPacket_Destroy(&p);

  p = fromSim(simmodule::makeStreamSample(2, 18, 7, 0, 7, 5, 0xCAFEBABE, 3));
  EXPECT_EQ(aErrNone, Link::getStreamSample(p, nullptr, &value, &sub));
  EXPECT_EQ(0xCAFEBABEu, value);
  EXPECT_EQ(3, sub);
  EXPECT_TRUE(Link::isSubindexType(STREAM_PACKET_SUBINDEX_U32));
  EXPECT_FALSE(Link::isSubindexType(STREAM_PACKET_U32));
  aPacket_Destroy(&p);

  // A non-zero last byte makes a byte-sequence packet whatever byte 3 says.
  p = packet(2, {30, 2, 0x41, 1, 9, 9, 9, 9, 9, 9, 9, 9, 0x42, 0x01});
  EXPECT_TRUE(Link::getStreamPacketType(p, &type));
  EXPECT_EQ(STREAM_PACKET_BYTES, type);
  EXPECT_FALSE(Link::isStreamSample(p));
  EXPECT_EQ(aErrSize, Link::getStreamSample(p, nullptr, &value, nullptr));
  aPacket_Destroy(&p);

  // Not stream packets: command 8, option with flags, no stream bit, too short.
  for (aPacket* q : {packet(2, {8, 1, 0x41, 1, 0}), packet(2, {30, 0x42, 0x41, 1, 0}),
                     packet(2, {30, 2, 0x01, 1, 0}), packet(2, {30, 2, 0x41, 1})}) {
    EXPECT_FALSE(Link::isStreamPacket(q));
    EXPECT_EQ(aErrPacket, Link::getStreamSample(q, nullptr, nullptr, nullptr));
    aPacket_Destroy(&q);
  }
  // A sample of the wrong length, or of type 0, is a stream packet but no sample.
  p = packet(2, {30, 2, 0x41, 1, 1, 1, 0});
  EXPECT_TRUE(Link::isStreamPacket(p));
  EXPECT_FALSE(Link::isStreamSample(p));
  EXPECT_EQ(aErrPacket, Link::getStreamSample(p, nullptr, &value, nullptr));
  aPacket_Destroy(&p);
  p = packet(2, {30, 2, 0x41, 0, 1, 1, 0});
  EXPECT_FALSE(Link::getStreamPacketType(p, &type));
  EXPECT_EQ(STREAM_PACKET_NONE, type);
  aPacket_Destroy(&p);
}

// ---- Against the module --------------------------------------------------------------

class Streams : public SimFixture {
 protected:
  void sample(uint8_t command, uint8_t option, uint8_t index, uint8_t type, uint32_t value, uint8_t sub = 0) {
    sim->sendPacket(simmodule::makeStreamSample(2, command, option, index, type, ++stamp, value, sub));
  }
  // A get answered by the module, sent after earlier stream packets, proves
  // that they have been through the link's reader.
  void sync() {
    SystemClass s;
    s.init(&module, 0);
    uint32_t serial;
    ASSERT_EQ(aErrNone, s.getSerialNumber(&serial));
    requests();
  }
  uint64_t stamp = 0;
};

TEST_F(Streams, RegistrationIsConfirmedByTheModule) {
  AnalogClass analog;
  analog.init(&module, 1);
  ASSERT_EQ(aErrNone, analog.setStreamEnabled(true));
  EXPECT_EQ((Bytes{93, 0x81, 0x20, 2, 30, 0xFF, 1}), requests().at(0));
  EXPECT_EQ(1u, simmodule::streamRegistrations(device()).count(0x021EFF01));
  uint8_t status = 0;
  EXPECT_EQ(aErrNone, link->isLinkStreaming(2, &status));
  EXPECT_EQ(1, status);
  EXPECT_EQ((Bytes{93, 0x41, 0x20}), requests().at(0));
  ASSERT_EQ(aErrNone, analog.setStreamEnabled(false));
  EXPECT_EQ((Bytes{93, 0x82, 0x20, 2, 30, 0xFF, 1}), requests().at(0));
  EXPECT_TRUE(simmodule::streamRegistrations(device()).empty());
}

TEST_F(Streams, GetsAreAnsweredFromTheCache) {
  AnalogClass analog;
  analog.init(&module, 1);
  ASSERT_EQ(aErrNone, analog.setStreamEnabled(true));
  requests();
  sample(30, 2, 1, 2, 0x1234);
  sync();
  uint16_t value = 0;
  EXPECT_EQ(aErrNone, analog.getValue(&value));
  EXPECT_EQ(0x1234, value);
  value = 0;
  EXPECT_EQ(aErrStreamStale, analog.getValue(&value));
  EXPECT_EQ(0x1234, value);
  EXPECT_TRUE(requests().empty());
  sample(30, 2, 1, 2, 0x5678);
  sync();
  EXPECT_EQ(aErrNone, analog.getValue(&value));
  EXPECT_EQ(0x5678, value);
  // Another option of the entity is not streamed yet: it asks the module.
  simmodule::setUeiValue(device(), 30, 8, 1, -1, 1, 3);
  uint8_t range = 0;
  EXPECT_EQ(aErrNone, analog.getRange(&range));
  EXPECT_EQ(1u, requests().size());
  // Only concrete keys appear in the status, not the registration.
  std::map<uint64_t, uint32_t> status;
  ASSERT_EQ(aErrNone, analog.getStreamStatus(&status));
  ASSERT_EQ(1u, status.size());
  EXPECT_EQ(Link::createStreamKey(2, 30, 2, 1, 0), status.begin()->first);
  EXPECT_EQ(0x5678u, status.begin()->second);
  EXPECT_EQ(aErrParam, analog.getStreamStatus(nullptr));
}

TEST_F(Streams, SubindexedSamplesAreCachedPerSubindex) {
  ASSERT_EQ(aErrNone, link->enableStream(2, 18, 8, 0, true));
  sample(18, 8, 0, 7, static_cast<uint32_t>(-1200), 2);
  sample(18, 8, 0, 7, 3300, 3);
  sync();
  USBClass usb;
  usb.init(&module, 0);
  int32_t mv = 0;
  EXPECT_EQ(aErrNone, usb.getPortVoltage(3, &mv));
  EXPECT_EQ(3300, mv);
  EXPECT_EQ(aErrNone, usb.getPortVoltage(2, &mv));
  EXPECT_EQ(-1200, mv);
  EXPECT_TRUE(requests().empty());
  std::vector<uint64_t> keys = link->filterActiveStreamKeys(2, 18, 8, 0, Link::STREAM_WILDCARD, true);
  EXPECT_EQ(3u, keys.size());  // the registration and two cached subindexes
}

TEST_F(Streams, CallbacksRunOnTheWorkerInOrder) {
  Recorder recorder;
  ASSERT_EQ(aErrNone, link->registerStreamCallback(2, 31, 2, 0, true, Recorder::callback, &recorder));
  for (uint32_t i = 0; i < 200; ++i) sample(31, 2, 0, 1, i & 0xFF);
  ASSERT_TRUE(recorder.waitFor(200));
  std::lock_guard<std::mutex> guard(recorder.lock);
  for (uint32_t i = 0; i < 200; ++i) ASSERT_EQ(i & 0xFF, recorder.values[i]);
  EXPECT_EQ(1u, recorder.threads.size());
  EXPECT_EQ(0u, recorder.threads.count(std::this_thread::get_id()));
}

TEST_F(Streams, ByteSequencesAreDispatchedButNotStored) {
  Recorder recorder;
  ASSERT_EQ(aErrNone, link->registerStreamCallback(2, 31, 2, 0, true, Recorder::callback, &recorder));
  sample(31, 2, 0, 4, 0x01020304);
  ASSERT_TRUE(recorder.waitFor(1));
  EXPECT_EQ(4, recorder.types[0]);
  uint32_t value = 0;
  EXPECT_EQ(aErrNotFound, link->getStreamValue(2, 31, 2, 0, 0, &value));
}

TEST_F(Streams, WildcardRegistrationCreatesCacheEntries) {
  Recorder recorder;
  // Any option of digital entity 1.
  ASSERT_EQ(aErrNone, link->registerStreamCallback(2, 31, Link::STREAM_WILDCARD, 1, true, Recorder::callback, &recorder));
  sample(31, 2, 1, 1, 7);
  sample(31, 3, 1, 3, 0xDEADBEEF);
  sample(31, 2, 2, 1, 9);  // another entity: not registered, still consumed
  ASSERT_TRUE(recorder.waitFor(2));
  sync();
  EXPECT_EQ(2u, recorder.count());
  uint32_t value = 0;
  EXPECT_EQ(aErrNone, link->getStreamValue(2, 31, 3, 1, 0, &value));
  EXPECT_EQ(0xDEADBEEFu, value);
  EXPECT_EQ(aErrNotFound, link->getStreamValue(2, 31, 2, 2, 0, &value));
  std::map<uint64_t, uint32_t> status;
  ASSERT_EQ(aErrNone, link->getStreamStatus(2, 31, Link::STREAM_WILDCARD, Link::STREAM_WILDCARD,
                                            Link::STREAM_WILDCARD, &status));
  EXPECT_EQ(2u, status.size());
  // Removing the registration removes the entries cached under it.
  ASSERT_EQ(aErrNone, link->registerStreamCallback(2, 31, Link::STREAM_WILDCARD, 1, false, nullptr, nullptr));
  EXPECT_TRUE(link->filterActiveStreamKeys(2, 31, 0xFF, 0xFF, 0xFF, true).empty());
}

TEST_F(Streams, RefusedRegistrationLeavesNothing) {
  simmodule::setStreamRefusal(device(), aErrInvalidEntity, false);
  DigitalClass digital;
  digital.init(&module, 0);
  EXPECT_EQ(aErrInvalidEntity, digital.setStreamEnabled(true));
  EXPECT_TRUE(link->filterActiveStreamKeys(2, 0xFF, 0xFF, 0xFF, 0xFF, true).empty());
  // Without the filter, stream packets reach the receive queue like any other.
  sample(31, 2, 0, 1, 5);
  uint8_t match[] = {31};
  uint8_t length = 1;
  uint8_t data[28];
  EXPECT_EQ(aErrNone, link->receivePacket(2, match, &length, data));
  EXPECT_EQ(14, length);
  simmodule::setStreamRefusal(device(), 0, true);
  EXPECT_EQ(aErrTimeout, digital.setStreamEnabled(true));
  EXPECT_TRUE(link->filterActiveStreamKeys(2, 0xFF, 0xFF, 0xFF, 0xFF, true).empty());
}

TEST_F(Streams, RegistrationArgumentsAreChecked) {
  EXPECT_EQ(aErrParam, link->enableStream(3, 30, 1, 0, true));
  EXPECT_EQ(aErrParam, link->enableStream(0xFF, 30, 1, 0, true));
  EXPECT_TRUE(requests().empty());
  Link idle("idle");
  EXPECT_EQ(aErrConnection, idle.enableStream(2, 30, 1, 0, true));
  uint32_t value;
  EXPECT_EQ(aErrNotFound, idle.getStreamValue(2, 30, 1, 0, 0, &value));
}

TEST_F(Streams, MalformedStreamPacketsReachTheQueue) {
  ASSERT_EQ(aErrNone, link->enableStream(2, 30, Link::STREAM_WILDCARD, 0, true));
  sim->sendPacket(simmodule::Packet::make(2, {30, 2, 0x40, 9, 1, 0}));
  uint8_t match[] = {30, 2, 0x40};
  uint8_t length = 3;
  uint8_t data[28];
  EXPECT_EQ(aErrNone, link->receivePacket(2, match, &length, data));
  EXPECT_EQ(6, length);
}

TEST_F(Streams, FloodFillsTheRingAndDropsTheRest) {
  Recorder recorder;
  recorder.hold = true;  // the first callback blocks the worker
  ASSERT_EQ(aErrNone, link->registerStreamCallback(2, 31, 3, 0, true, Recorder::callback, &recorder));
  const uint32_t total = 700;
  // The worker takes the first sample and holds it before the rest arrive, so
  // that the ring fills behind a callback in progress.
  sample(31, 3, 0, 3, 0);
  ASSERT_TRUE(recorder.waitFor(1));
  for (uint32_t i = 1; i < total; ++i) sample(31, 3, 0, 3, i);
  // Every sample goes through the cache, whether or not its callback fits.
  ASSERT_TRUE(eventually([&] {
    uint32_t value = 0;
    return link->getStreamValue(2, 31, 3, 0, 0, &value) != aErrNotFound && value == total - 1;
  }, 20000));
  recorder.release();
  ASSERT_TRUE(recorder.waitFor(499));
  sync();
  // One callback in progress plus a full ring of 499; the newest were dropped.
  ASSERT_TRUE(eventually([&] { return recorder.count() >= 499; }));
  std::lock_guard<std::mutex> guard(recorder.lock);
  EXPECT_GE(recorder.values.size(), 499u);
  EXPECT_LE(recorder.values.size(), 500u);
  for (size_t i = 1; i < recorder.values.size(); ++i) ASSERT_EQ(recorder.values[i - 1] + 1, recorder.values[i]);
}

TEST_F(Streams, DisconnectWhileStreamingStopsEverything) {
  Recorder recorder;
  ASSERT_EQ(aErrNone, link->registerStreamCallback(2, 31, 2, 0, true, Recorder::callback, &recorder));
  for (uint32_t i = 0; i < 50; ++i) sample(31, 2, 0, 1, i);
  EXPECT_EQ(aErrNone, module.disconnect());
  EXPECT_TRUE(link->filterActiveStreamKeys(2, 0xFF, 0xFF, 0xFF, 0xFF, true).empty());
}
