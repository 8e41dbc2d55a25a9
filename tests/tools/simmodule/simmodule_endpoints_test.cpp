// The simulated module over a pseudo-terminal and an in-process pair, its
// framing code alone, and its configuration.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "TempDir.h"
#include "SimFraming.h"
#include "SimModule.h"
#include "aStream.h"
#include "aTime.h"

namespace {

using Bytes = std::vector<uint8_t>;
using simmodule::Framer;
using simmodule::Packet;

// Reads exactly count bytes from a stream within 5 s.
Bytes readStream(aStreamRef stream, size_t count) {
  Bytes buf(count);
  uint32_t start = aTime_GetMSTicks();
  aErr err;
  while ((err = aStream_Read(stream, buf.data(), count)) == aErrNotReady && aTime_GetMSTicks() - start < 5000)
    aTime_MSSleep(1);
  return err == aErrNone ? buf : Bytes();
}

void talk(aStreamRef stream, simmodule::Simulator& sim) {
  const uint8_t query[] = {0xAD, 0x00};
  ASSERT_EQ(aErrNone, aStream_Write(stream, query, 2));
  EXPECT_EQ((Bytes{2, 0}), readStream(stream, 2));
  const uint8_t start[] = {0xAF, 0x01, 0x01};
  ASSERT_EQ(aErrNone, aStream_Write(stream, start, 3));
  Bytes beat = readStream(stream, 4);
  ASSERT_EQ(4u, beat.size());
  EXPECT_EQ((Bytes{2, 2, 0}), Bytes(beat.begin(), beat.begin() + 3));
  const uint8_t answer[] = {2, 2, 0, static_cast<uint8_t>(beat[3] + 2)};
  ASSERT_EQ(aErrNone, aStream_Write(stream, answer, 4));
  EXPECT_TRUE(sim.waitFor([](const simmodule::Stats& s) { return s.heartbeatAnswers >= 1; }, 5000));
}

simmodule::EndpointConfig fastHeartbeat() {
  simmodule::EndpointConfig endpoint;
  endpoint.heartbeatMs = 20;
  return endpoint;
}

TEST(SimEndpoint, PseudoTerminalOpenedAsSerialPort) {
#ifdef _WIN32
  GTEST_SKIP() << "no pseudo-terminals on this system";
#endif
  simmodule::Simulator sim(simmodule::ModuleConfig(), fastHeartbeat());
  ASSERT_TRUE(sim.openPty());
  ASSERT_EQ(0u, sim.ptyPath().find("/dev/"));
  ASSERT_TRUE(sim.start());
  aStreamRef stream = nullptr;
  ASSERT_EQ(aErrNone, aStream_CreateSerial(sim.ptyPath().c_str(), aSERIAL_BAUD_115200, 0, 0, 0, &stream));
  talk(stream, sim);
  aStream_Destroy(&stream);
  // The port can be opened again by the next program.
  ASSERT_EQ(aErrNone, aStream_CreateSerial(sim.ptyPath().c_str(), aSERIAL_BAUD_115200, 0, 0, 0, &stream));
  aStream_Destroy(&stream);
  sim.stop();
}

TEST(SimEndpoint, InProcessPairStream) {
  simmodule::Simulator sim(simmodule::ModuleConfig(), fastHeartbeat());
  aStreamRef stream = sim.openPairStream();
  ASSERT_NE(nullptr, stream);
  ASSERT_TRUE(sim.start());
  talk(stream, sim);
  aStream_Destroy(&stream);
  EXPECT_TRUE(sim.waitFor([](const simmodule::Stats& s) { return s.disconnections == 1; }, 5000));
}

TEST(SimFraming, PacketsAndFramingErrors) {
  Framer framer;
  Packet p;
  EXPECT_EQ(Framer::Result::FramingError, framer.feed(0x05, 0, &p));  // odd address
  EXPECT_EQ(Framer::Result::FramingError, framer.feed(0x00, 0, &p));
  EXPECT_EQ(Framer::Result::Pending, framer.feed(0x04, 0, &p));
  EXPECT_EQ(Framer::Result::FramingError, framer.feed(29, 0, &p));  // too long
  EXPECT_EQ(Framer::Result::Pending, framer.feed(0x04, 0, &p));
  EXPECT_EQ(Framer::Result::Pending, framer.feed(28, 0, &p));
  for (int i = 0; i < 27; ++i)
    ASSERT_EQ(Framer::Result::Pending, framer.feed(static_cast<uint8_t>(i), 0, &p));
  ASSERT_EQ(Framer::Result::Packet, framer.feed(27, 0, &p));
  EXPECT_EQ(4, p.address);
  EXPECT_EQ(28, p.length);
  EXPECT_EQ(27, p.data[27]);
  // Link control and query addresses are odd but allowed; length 0 completes.
  EXPECT_EQ(Framer::Result::Pending, framer.feed(0xAD, 0, &p));
  ASSERT_EQ(Framer::Result::Packet, framer.feed(0x00, 0, &p));
  EXPECT_EQ(0xAD, p.address);
  EXPECT_EQ(0, p.length);
}

TEST(SimFraming, StalePartialPacketIsDropped) {
  Framer framer;
  Packet p;
  framer.feed(0x04, 1000, &p);
  framer.feed(0x03, 1000, &p);
  framer.feed(0x01, 1000, &p);
  // Long silence: the half packet is dropped, the next byte starts anew.
  uint64_t later = 1000 + Framer::kStaleMs + 1;
  EXPECT_EQ(Framer::Result::Pending, framer.feed(0x06, later, &p));
  EXPECT_EQ(1u, framer.staleDrops());
  framer.feed(0x01, later, &p);
  ASSERT_EQ(Framer::Result::Packet, framer.feed(0x09, later + 10, &p));
  EXPECT_EQ(6, p.address);
  EXPECT_EQ(9, p.data[0]);
}

TEST(SimConfig, FileAndSettings) {
  TempDir dir;
  std::string path = dir.writeFile("module.conf",
                                   "# a module\n"
                                   "serial = 0x00C0FFEE\n"
                                   "model=19\n"
                                   "address = 8  # even\n"
                                   "firmware = 1.2.15\n"
                                   "build = 1234\n"
                                   "heartbeat = 250\n"
                                   "silent = on\n");
  simmodule::ModuleConfig module;
  simmodule::EndpointConfig endpoint;
  std::string error;
  ASSERT_TRUE(simmodule::loadConfigFile(path, &module, &endpoint, &error)) << error;
  EXPECT_EQ(0x00C0FFEEu, module.serialNumber);
  EXPECT_EQ(19, module.model);
  EXPECT_EQ(8, module.address);
  EXPECT_EQ(0x1200000Fu, module.firmwareVersion);
  EXPECT_EQ(1234u, module.build);
  EXPECT_EQ(250u, endpoint.heartbeatMs);
  EXPECT_TRUE(endpoint.silent);

  std::string bad = dir.writeFile("bad.conf", "model = 19\naddress = 7\n");
  EXPECT_FALSE(simmodule::loadConfigFile(bad, &module, &endpoint, &error));
  EXPECT_NE(std::string::npos, error.find(":2:")) << error;
  EXPECT_FALSE(simmodule::applySetting("colour", "red", &module, &endpoint, &error));
  EXPECT_FALSE(simmodule::applySetting("model", "256", &module, &endpoint, &error));
  EXPECT_FALSE(simmodule::applySetting("serial", "-1", &module, &endpoint, &error));
  EXPECT_FALSE(simmodule::loadConfigFile(dir.file("missing"), &module, &endpoint, &error));
  uint32_t packed = 0;
  EXPECT_TRUE(simmodule::parseFirmwareVersion("15.15.16777215", &packed));
  EXPECT_EQ(0xFFFFFFFFu, packed);
  EXPECT_FALSE(simmodule::parseFirmwareVersion("16.0.0", &packed));
  EXPECT_FALSE(simmodule::parseFirmwareVersion("1.2", &packed));
}

}  // namespace
