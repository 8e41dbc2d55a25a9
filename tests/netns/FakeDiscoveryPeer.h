#ifndef TESTS_NETNS_FAKEDISCOVERYPEER_H
#define TESTS_NETNS_FAKEDISCOVERYPEER_H
// A peer on the discovery request port (inside the test's network namespace)
// that answers every request with the given datagrams, sent back to the
// requester's address on the answer port: strangers, repeats and floods.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "aDiscovery.h"
#include "platform/udp.h"

inline uint32_t testIpv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t bytes[4] = {a, b, c, d};
  uint32_t address;
  std::memcpy(&address, bytes, 4);
  return address;
}

// A 16-byte discovery answer.
inline std::vector<uint8_t> discoveryAnswer(uint8_t module, uint16_t port, uint32_t serial, uint8_t model) {
  std::vector<uint8_t> a(16, 0);
  a[1] = module;
  a[2] = static_cast<uint8_t>(port);
  a[3] = static_cast<uint8_t>(port >> 8);
  for (int i = 0; i < 4; ++i) a[4 + i] = static_cast<uint8_t>(serial >> (8 * i));
  a[12] = model;
  return a;
}

class FakeDiscoveryPeer {
 public:
  explicit FakeDiscoveryPeer(std::vector<std::vector<uint8_t>> answers)
      : answers_(std::move(answers)) {
    sock_ = aUdp_Open();
    ok_ = sock_ && aUdp_Bind(sock_, 0, aDISCOVERY_REQUEST_PORT, true) == aErrNone &&
          aUdp_JoinGroup(sock_, testIpv4(232, 2, 2, 2), testIpv4(10, 77, 0, 1)) == aErrNone;
    thread_ = std::thread([this] { run(); });
  }
  ~FakeDiscoveryPeer() {
    stop_ = true;
    thread_.join();
    if (sock_) aUdp_Close(&sock_);
  }
  bool ok() const { return ok_; }
  int requests() const { return requests_; }

 private:
  void run() {
    while (!stop_ && sock_) {
      uint8_t request[64];
      size_t length = 0;
      uint32_t from = 0;
      if (aUdp_ReceiveFrom(sock_, request, sizeof request, &length, &from, nullptr, 50) != aErrNone)
        continue;
      if (length != 16 || request[0] != 1) continue;
      ++requests_;
      aUdpSocketRef out = aUdp_Open();
      size_t sent = 0;
      for (const auto& answer : answers_) {
        aUdp_SendTo(out, from, aDISCOVERY_ANSWER_PORT, answer.data(), answer.size());
        // Paced, so that a long flood does not overrun the receiver's buffer.
        if (++sent % 32 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      aUdp_Close(&out);
    }
  }
  std::vector<std::vector<uint8_t>> answers_;
  aUdpSocketRef sock_ = nullptr;
  bool ok_ = false;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
};

#endif
