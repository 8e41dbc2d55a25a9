// The serial download boot loader behind the HID seam.
#include "FakeHidDevice.h"

#include <algorithm>
#include <cstring>

#include "SDPCommands.h"

namespace simsdp {

namespace {
// The one handle the fake hands out.
sdp::HidHandle handleOf(FakeHidDevice* device) {
  return static_cast<sdp::HidHandle>(device);
}
}  // namespace

FakeHidDevice::FakeHidDevice(const DeviceConfig& config, uint16_t vendor, uint16_t product)
    : device_(config), vendor_(vendor), product_(product) {}

FakeHidDevice::~FakeHidDevice() {
  uninstall();
}

void FakeHidDevice::install() {
  sdp::setHidBackend(this);
  installed_ = true;
}

void FakeHidDevice::uninstall() {
  if (installed_ && &sdp::hidBackend() == this)
    sdp::setHidBackend(nullptr);
  installed_ = false;
}

void FakeHidDevice::setPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = present;
}

std::vector<size_t> FakeHidDevice::reportSizes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reportSizes_;
}

bool FakeHidDevice::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

int FakeHidDevice::initCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inits_;
}

int FakeHidDevice::exitCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return exits_;
}

int FakeHidDevice::init() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++inits_;
  return 0;
}

sdp::HidHandle FakeHidDevice::open(uint16_t vendor, uint16_t product) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_ || open_ || vendor != vendor_ || product != product_)
    return nullptr;
  open_ = true;
  return handleOf(this);
}

int FakeHidDevice::write(sdp::HidHandle handle, const uint8_t* data, size_t length) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle != handleOf(this) || !open_ || !data || length == 0)
      return -1;
    reportSizes_.push_back(length);
  }
  if (data[0] == sdp::kCommandReportId && length >= sdp::kCommandSize)
    queue(device_.command(data + 1));
  else if (data[0] == sdp::kDataReportId)
    queue(device_.data(data + 1, length - 1));
  return static_cast<int>(length);
}

void FakeHidDevice::queue(const std::vector<Reply>& replies) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Reply& reply : replies) {
    if (reply.kind == Reply::Hab) {
      std::vector<uint8_t> report{sdp::kHabReportId};
      report.insert(report.end(), reply.bytes.begin(), reply.bytes.end());
      replies_.push_back(report);
      continue;
    }
    // Status and data go out in 64-byte reports, the last one padded.
    for (size_t at = 0; at < reply.bytes.size(); at += sdp::kHidReportSize - 1) {
      std::vector<uint8_t> report(sdp::kHidReportSize, 0);
      report[0] = sdp::kStatusReportId;
      size_t n = std::min(sdp::kHidReportSize - 1, reply.bytes.size() - at);
      std::copy(reply.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                reply.bytes.begin() + static_cast<std::ptrdiff_t>(at + n), report.begin() + 1);
      replies_.push_back(report);
    }
  }
}

int FakeHidDevice::readTimeout(sdp::HidHandle handle, uint8_t* data, size_t length, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handle != handleOf(this) || !open_ || !data)
    return -1;
  if (replies_.empty())
    return 0;
  std::vector<uint8_t> report = replies_.front();
  replies_.pop_front();
  size_t n = std::min(length, report.size());
  memcpy(data, report.data(), n);
  return static_cast<int>(n);
}

void FakeHidDevice::close(sdp::HidHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handle == handleOf(this)) {
    open_ = false;
    replies_.clear();
  }
}

int FakeHidDevice::exit() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++exits_;
  return 0;
}

}  // namespace simsdp
