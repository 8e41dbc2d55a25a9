// The usbfs requests of a simulated USB module and its byte pipe.
#include "UsbGadget.h"

#include <cerrno>
#include <chrono>

namespace simusb {

namespace {
constexpr size_t kSetupSize = 8;
}

int UsbGadget::claim(uint64_t owner, unsigned interfaceNumber) {
  std::lock_guard<std::mutex> guard(lock_);
  if (unplugged_) return ENODEV;
  if (interfaceNumber != 0) return ENOENT;
  if (heldElsewhere_ || (claimed_ && claimOwner_ != owner)) return EBUSY;
  if (claimed_) return 0;
  claimed_ = true;
  claimOwner_ = owner;
  connection_ = ++connections_;
  fromHost_.clear();
  toHost_.clear();
  ++counters_.claims;
  changed_.notify_all();
  return 0;
}

int UsbGadget::release(uint64_t owner, unsigned interfaceNumber) {
  std::lock_guard<std::mutex> guard(lock_);
  if (unplugged_) return ENODEV;
  if (interfaceNumber != 0 || !claimed_ || claimOwner_ != owner) return EINVAL;
  endConnection();
  return 0;
}

void UsbGadget::endConnection() {
  claimed_ = false;
  claimOwner_ = 0;
  connection_ = 0;
  toHost_.clear();
  changed_.notify_all();
}

int UsbGadget::clearHalt(uint8_t endpoint) {
  std::lock_guard<std::mutex> guard(lock_);
  if (unplugged_) return ENODEV;
  if (endpoint == haltedIn_) haltedIn_ = 0;
  if (endpoint == haltedOut_) haltedOut_ = 0;
  ++counters_.clearHalts;
  return 0;
}

bool UsbGadget::halted(uint8_t endpoint) const {
  return endpoint != 0 && (endpoint == haltedIn_ || endpoint == haltedOut_);
}

void UsbGadget::finish(Pending& pending, int status, size_t actual, Bytes in) {
  pending.finished = true;
  pending.done.id = pending.urb.id;
  pending.done.status = status;
  pending.done.actual = actual;
  pending.done.in = std::move(in);
  changed_.notify_all();
}

int UsbGadget::submit(const Urb& urb) {
  Bytes report;
  int result;
  {
    std::lock_guard<std::mutex> guard(lock_);
    result = submitLocked(urb, &report);
  }
  // Outside the lock: the handler answers through sendReport.
  if (!report.empty() && onReport) onReport(report);
  return result;
}

// SET_REPORT hands the output report over, SET_IDLE is taken; false for
// other requests.
bool UsbGadget::hidRequest(const SetupPacket& setup, const Urb& urb, Bytes* report) {
  constexpr uint8_t kClassToInterface = 0x21, kSetReport = 0x09, kSetIdle = 0x0A;
  if (!identity_.hid || setup.requestType != kClassToInterface) return false;
  if (setup.request == kSetIdle) return true;
  if (setup.request != kSetReport) return false;
  report->assign(urb.out.begin() + kSetupSize, urb.out.end());
  return true;
}

int UsbGadget::submitLocked(const Urb& urb, Bytes* report) {
  if (unplugged_) return ENODEV;
  const bool control = urb.type == kUrbControl;
  if (!control && (urb.endpoint & 0x7F) != 0 && !(claimed_ && claimOwner_ == urb.owner)) return EINVAL;
  urbs_.push_back(Pending{urb, false, UrbDone()});
  Pending& pending = urbs_.back();
  if (control) {
    if (urb.out.size() < kSetupSize) {
      finish(pending, -EINVAL, 0, Bytes());
      return 0;
    }
    const SetupPacket setup = parseSetup(urb.out.data());
    if (hidRequest(setup, urb, report)) {
      finish(pending, 0, urb.out.size() - kSetupSize, Bytes(urb.out.begin(), urb.out.begin() + kSetupSize));
      return 0;
    }
    Bytes data;
    if (!answerControl(identity_, setup, &data) || kSetupSize + data.size() > urb.length) {
      finish(pending, -EPIPE, 0, Bytes());
      return 0;
    }
    Bytes in(urb.out.begin(), urb.out.begin() + kSetupSize);
    in.insert(in.end(), data.begin(), data.end());
    finish(pending, 0, data.size(), std::move(in));
  } else if (halted(urb.endpoint)) {
    finish(pending, -EPIPE, 0, Bytes());
  } else if ((urb.endpoint & 0x80) == 0) {
    fromHost_.insert(fromHost_.end(), urb.out.begin(), urb.out.end());
    ++counters_.outTransfers;
    finish(pending, 0, urb.out.size(), Bytes());
  } else {
    if (urb.endpoint == kBulkIn) ++counters_.inSubmitted;
    if (identity_.hid) feedReports();
    else feedInTransfers();
    changed_.notify_all();
  }
  return 0;
}

// Hands the bytes for the host to the oldest waiting bulk IN transfer: it
// ends with what is there (a short transfer) or with its buffer full.
void UsbGadget::feedInTransfers() {
  for (Pending& pending : urbs_) {
    if (toHost_.empty()) return;
    if (pending.finished || pending.urb.type != kUrbBulk || pending.urb.endpoint != kBulkIn) continue;
    size_t count = std::min(pending.urb.length, toHost_.size());
    Bytes in(toHost_.begin(), toHost_.begin() + static_cast<long>(count));
    toHost_.erase(toHost_.begin(), toHost_.begin() + static_cast<long>(count));
    ++counters_.inTransfers;
    finish(pending, 0, count, std::move(in));
  }
}

// Each input report of a HID device goes out in one interrupt IN transfer.
void UsbGadget::feedReports() {
  for (Pending& pending : urbs_) {
    if (reports_.empty()) return;
    if (pending.finished || pending.urb.type != kUrbInterrupt || pending.urb.endpoint != kBulkIn) continue;
    Bytes report = std::move(reports_.front());
    reports_.pop_front();
    if (report.size() > pending.urb.length) report.resize(pending.urb.length);
    ++counters_.inTransfers;
    const size_t size = report.size();
    finish(pending, 0, size, std::move(report));
  }
}

void UsbGadget::sendReport(const Bytes& report) {
  std::lock_guard<std::mutex> guard(lock_);
  if (unplugged_) return;
  reports_.push_back(report);
  feedReports();
}

int UsbGadget::discard(uint64_t owner, uint64_t id) {
  std::lock_guard<std::mutex> guard(lock_);
  if (unplugged_) return ENODEV;
  for (Pending& pending : urbs_) {
    if (pending.urb.owner != owner || pending.urb.id != id) continue;
    if (pending.finished) return EINVAL;  // too late: the host reaps it as it is
    ++counters_.discards;
    finish(pending, -ENOENT, 0, Bytes());
    return 0;
  }
  return EINVAL;
}

int UsbGadget::reap(uint64_t owner, UrbDone* done, uint32_t waitMs) {
  std::unique_lock<std::mutex> guard(lock_);
  auto ready = [&] {
    if (unplugged_) return true;
    for (const Pending& pending : urbs_)
      if (pending.urb.owner == owner && pending.finished) return true;
    return false;
  };
  changed_.wait_for(guard, std::chrono::milliseconds(waitMs), ready);
  for (auto it = urbs_.begin(); it != urbs_.end(); ++it) {
    if (it->urb.owner != owner || !it->finished) continue;
    *done = std::move(it->done);
    urbs_.erase(it);
    return 0;
  }
  return unplugged_ ? ENODEV : EAGAIN;
}

void UsbGadget::ownerGone(uint64_t owner) {
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = urbs_.begin(); it != urbs_.end();)
    it = it->urb.owner == owner ? urbs_.erase(it) : it + 1;
  if (claimed_ && claimOwner_ == owner) endConnection();
}

uint64_t UsbGadget::waitForConnection(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return connection_ != 0 || unplugged_; });
  return unplugged_ ? 0 : connection_;
}

long UsbGadget::readFromHost(uint64_t connection, uint8_t* buffer, size_t size, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(lock_);
  auto gone = [&] { return unplugged_ || connection_ != connection; };
  changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return gone() || !fromHost_.empty(); });
  if (gone()) return -1;
  size_t count = std::min(size, fromHost_.size());
  std::copy(fromHost_.begin(), fromHost_.begin() + static_cast<long>(count), buffer);
  fromHost_.erase(fromHost_.begin(), fromHost_.begin() + static_cast<long>(count));
  return static_cast<long>(count);
}

bool UsbGadget::writeToHost(uint64_t connection, const uint8_t* bytes, size_t count) {
  std::lock_guard<std::mutex> guard(lock_);
  if (unplugged_ || connection_ != connection) return false;
  toHost_.insert(toHost_.end(), bytes, bytes + count);
  feedInTransfers();
  return true;
}

// As usbfs does on a disconnect: the URBs still out end with ENODEV and are
// reaped as such; after them reaping gives ENODEV.
void UsbGadget::unplug() {
  std::lock_guard<std::mutex> guard(lock_);
  unplugged_ = true;
  for (Pending& pending : urbs_)
    if (!pending.finished) finish(pending, -ENODEV, 0, Bytes());
  endConnection();
}

bool UsbGadget::unplugged() const {
  std::lock_guard<std::mutex> guard(lock_);
  return unplugged_;
}

void UsbGadget::setHeldElsewhere(bool held) {
  std::lock_guard<std::mutex> guard(lock_);
  heldElsewhere_ = held;
}

void UsbGadget::haltEndpoint(uint8_t endpoint) {
  std::lock_guard<std::mutex> guard(lock_);
  if (endpoint & 0x80) haltedIn_ = endpoint;
  else haltedOut_ = endpoint;
}

bool UsbGadget::waitFor(bool (*condition)(const Counters&), uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return condition(counters_); });
}

UsbGadget::Counters UsbGadget::counters() const {
  std::lock_guard<std::mutex> guard(lock_);
  return counters_;
}

}  // namespace simusb
