#ifndef SIMMODULE_USB_USBGADGET_H
#define SIMMODULE_USB_USBGADGET_H
// The device side of one simulated USB module: the usbfs requests a host
// makes (claim and release of the interface, URB submit, discard and reap,
// halt clearing) answered as a real device would, and a byte pipe to the
// module behind the link interface's bulk endpoints. Free of umockdev, so the
// URB rules can be tested on their own; UsbTestbed carries the requests here.
//
// A connection is one claim of the link interface: it begins with the claim
// and ends with the release, with the close of the client that claimed, or
// with the device's removal. The module side reads and writes one connection
// and sees its end.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "UsbDescriptors.h"

namespace simusb {

// usbfs URB types.
constexpr uint8_t kUrbInterrupt = 1;
constexpr uint8_t kUrbControl = 2;
constexpr uint8_t kUrbBulk = 3;

struct Urb {
  uint64_t owner = 0;  // the client: one open file of the device node
  uint64_t id = 0;     // the URB's address in the client
  uint8_t type = kUrbBulk;
  uint8_t endpoint = 0;
  size_t length = 0;   // the client's buffer length
  Bytes out;           // OUT data; for control transfers the setup packet and OUT data stage
};

struct UrbDone {
  uint64_t id = 0;
  int status = 0;     // 0 or a negative errno, as usbfs reports it
  size_t actual = 0;  // bytes moved (control: the data stage only)
  Bytes in;           // bytes for the client's buffer from its start (control: setup + data)
};

class UsbGadget {
 public:
  explicit UsbGadget(const UsbIdentity& identity) : identity_(identity) {}
  const UsbIdentity& identity() const { return identity_; }

  // ---- host side: each returns 0 or an errno ------------------------------
  int claim(uint64_t owner, unsigned interfaceNumber);
  int release(uint64_t owner, unsigned interfaceNumber);
  int clearHalt(uint8_t endpoint);
  int submit(const Urb& urb);
  int discard(uint64_t owner, uint64_t id);
  // A finished URB of owner, waiting up to waitMs for one: 0, EAGAIN or ENODEV.
  int reap(uint64_t owner, UrbDone* done, uint32_t waitMs);
  // The client closed the device node: its claim and its URBs go.
  void ownerGone(uint64_t owner);

  // ---- module side ----------------------------------------------------------
  // The current connection (numbers grow with every claim), waiting up to
  // timeoutMs for one; 0 when there is none.
  uint64_t waitForConnection(uint32_t timeoutMs);
  // Bytes the host sent on connection, waiting up to timeoutMs for the
  // first: the count, 0 when none came, -1 when the connection has ended.
  long readFromHost(uint64_t connection, uint8_t* buffer, size_t size, uint32_t timeoutMs);
  // Queues bytes for the host's IN transfers; false when the connection has ended.
  bool writeToHost(uint64_t connection, const uint8_t* bytes, size_t count);
  // The device is pulled out: the URBs still out end with ENODEV, and every
  // request fails with ENODEV once they are reaped.
  void unplug();
  bool unplugged() const;

  // ---- a HID device (identity().hid) -------------------------------------------
  // Called with each output report (ID first) the host sets, on the thread
  // that carries the host's requests; set before the device is plugged in.
  std::function<void(const Bytes& report)> onReport;
  // Queues an input report for the host's interrupt IN transfers.
  void sendReport(const Bytes& report);

  // ---- faults and counters ----------------------------------------------------
  // Another process holds the interface: claims fail with EBUSY.
  void setHeldElsewhere(bool held);
  // Transfers on endpoint fail with EPIPE until the host clears the halt.
  void haltEndpoint(uint8_t endpoint);
  struct Counters {
    unsigned claims = 0;
    unsigned clearHalts = 0;
    unsigned discards = 0;
    unsigned inSubmitted = 0;   // bulk IN URBs submitted
    unsigned inTransfers = 0;   // IN URBs completed with data
    unsigned outTransfers = 0;  // OUT URBs completed
  };
  Counters counters() const;
  // Waits until counters satisfy condition; false after timeoutMs.
  bool waitFor(bool (*condition)(const Counters&), uint32_t timeoutMs);

 private:
  struct Pending {
    Urb urb;
    bool finished = false;
    UrbDone done;
  };
  int submitLocked(const Urb& urb, Bytes* report);
  bool hidRequest(const SetupPacket& setup, const Urb& urb, Bytes* report);
  bool halted(uint8_t endpoint) const;
  void finish(Pending& pending, int status, size_t actual, Bytes in);
  void feedInTransfers();
  void feedReports();
  void endConnection();

  const UsbIdentity identity_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Pending> urbs_;  // in submission order
  std::deque<uint8_t> fromHost_;
  std::deque<uint8_t> toHost_;
  std::deque<Bytes> reports_;  // input reports of a HID device
  uint64_t claimOwner_ = 0;
  bool claimed_ = false;
  uint64_t connection_ = 0;   // current connection, 0 = none
  uint64_t connections_ = 0;  // connections so far
  bool unplugged_ = false;
  bool heldElsewhere_ = false;
  uint8_t haltedIn_ = 0, haltedOut_ = 0;
  Counters counters_;
};

}  // namespace simusb

#endif
