#ifndef TESTS_API_SIMFIXTURE_H
#define TESTS_API_SIMFIXTURE_H
// A Module connected over TCP loopback to an in-process simulated module.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "Kelvarion.h"
#include "SimDevice.h"
#include "SimModule.h"
#include "platform/socket.h"

namespace kv = Mirovane::Kelvarion;

inline simmodule::ModuleConfig simConfig(uint32_t serial = 0x0012ABCD, uint8_t model = 19, uint8_t address = 2) {
  simmodule::ModuleConfig c;
  c.serialNumber = serial;
  c.model = model;
  c.address = address;
  c.firmwareVersion = 0x2300002A;
  c.build = 4711;
  return c;
}

// The linkSpec of a simulator listening on loopback.
inline linkSpec simSpec(const simmodule::Simulator& sim, uint32_t serial, uint8_t address) {
  linkSpec spec{};
  spec.type = LINKTYPE_TCPIP;
  spec.serialNumber = serial;
  spec.module = address;
  spec.router = address;
  spec.routerSerialNumber = serial;
  spec.ipAddress = platform::ipv4Loopback();
  spec.ipPort = sim.tcpPort();
  return spec;
}

// Polls condition every few milliseconds until it holds or timeoutMs passed.
inline bool eventually(const std::function<bool()>& condition, uint32_t timeoutMs = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return condition();
}

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    simmodule::EndpointConfig endpoint;
    endpoint.heartbeatMs = 0;
    sim.reset(new simmodule::Simulator(simConfig(), endpoint));
    ASSERT_TRUE(sim->listenTcp(platform::ipv4Loopback(), 0));
    ASSERT_TRUE(sim->start());
    ASSERT_EQ(aErrNone, module.connectFromSpec(simSpec(*sim, 0x0012ABCD, 2)));
    link = module.getLink();
    simmodule::takeRequests(device());
  }
  void TearDown() override {
    module.disconnect();
    sim->stop();
  }
  simmodule::Module& device() { return sim->primary(); }
  // The data bytes of every packet the module's device families received.
  std::vector<std::vector<uint8_t>> requests() {
    std::vector<std::vector<uint8_t>> out;
    for (const simmodule::Packet& p : simmodule::takeRequests(device()))
      out.emplace_back(p.data, p.data + p.length);
    return out;
  }

  std::unique_ptr<simmodule::Simulator> sim;
  kv::Module module{2};
  kv::Link* link = nullptr;
};

using Bytes = std::vector<uint8_t>;

#endif
