// The simulated module's endpoint: one thread that accepts or holds the host's
// connection, frames the bytes it sends, dispatches packets to the modules and
// writes their answers.
#include <algorithm>

#include "SimChannel.h"
#include "SimFraming.h"
#include "SimModule.h"
#include "platform/serial.h"
#include "platform/time.h"

namespace simmodule {

namespace {

const uint32_t kReadSliceMs = 5;
const uint32_t kAcceptSliceMs = 20;
const size_t kReceivedLimit = 1u << 20;

}  // namespace

Simulator::Simulator(const ModuleConfig& primary, const EndpointConfig& endpoint)
    : primaryConfig_(primary), endpoint_(endpoint), framer_(new Framer) {
  modules_.emplace_back(new Module(*this, primary));
  installStandardFamilies(*modules_.front());
}

Simulator::~Simulator() {
  stop();
}

uint64_t Simulator::nowMs() {
  return platform::monotonicMilliseconds();
}

bool Simulator::listenTcp(uint32_t address, uint16_t port) {
  if (listening_ || channel_ || running_)
    return false;
  platform::socketStartup();
  listener_ = platform::tcpListen(address, port, 4);
  if (listener_ == platform::kNoSocket)
    return false;
  listenAddress_ = address;
  tcpPort_ = platform::socketLocalPort(listener_);
  listening_ = true;
  return true;
}

bool Simulator::openPty() {
  if (listening_ || channel_ || running_)
    return false;
  platform::Pty* pty = platform::ptyOpen();
  if (!pty)
    return false;
  ptyPath_ = platform::ptySlavePath(pty);
  channel_ = makePtyChannel(pty);
  stats_.connections = 1;
  return true;
}

bool Simulator::attachPort(std::unique_ptr<Port> port) {
  if (listening_ || channel_ || running_ || port_ || !port)
    return false;
  port_ = std::move(port);
  return true;
}

platform::SocketHandle Simulator::openPair() {
  if (listening_ || channel_ || running_)
    return platform::kNoSocket;
  platform::SocketHandle pair[2];
  if (!platform::socketPair(pair))
    return platform::kNoSocket;
  channel_ = makeSocketChannel(pair[0]);
  stats_.connections = 1;
  return pair[1];
}

bool Simulator::start() {
  std::lock_guard<std::mutex> guard(lock_);
  if (running_ || (!listening_ && !channel_ && !port_))
    return false;
  stopRequested_ = false;
  running_ = true;
  uint64_t now = nowMs();
  nextHeartbeatMs_ = now + endpoint_.heartbeatMs;
  nextGarbageMs_ = now + endpoint_.garbageEveryMs;
  thread_ = std::thread(&Simulator::run, this);
  return true;
}

void Simulator::stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopRequested_ = true;
  }
  if (thread_.joinable())
    thread_.join();
  std::lock_guard<std::mutex> guard(lock_);
  running_ = false;
  if (channel_) {
    channel_->close(true);
    channel_.reset();
  }
  if (listener_ != platform::kNoSocket) {
    platform::socketClose(listener_);
    listener_ = platform::kNoSocket;
  }
  listening_ = false;
  port_.reset();
}

void Simulator::configure(const std::function<void()>& change) {
  std::lock_guard<std::mutex> guard(lock_);
  change();
}

Module& Simulator::addModule(const ModuleConfig& config) {
  modules_.emplace_back(new Module(*this, config));
  installStandardFamilies(*modules_.back());
  return *modules_.back();
}

Module* Simulator::moduleAt(uint8_t address) {
  for (auto& module : modules_)
    if (module->address() == address)
      return module.get();
  return nullptr;
}

void Simulator::run() {
  std::vector<uint8_t> buffer(512);
  for (;;) {
    uint32_t sliceMs = kReadSliceMs;
    {
      std::lock_guard<std::mutex> guard(lock_);
      sliceMs = std::min(sliceMs, msUntilQueriesDue());
      if (stopRequested_)
        return;
      if (dropRequested_) {
        dropRequested_ = false;
        if (channel_ && channel_->canDrop())
          closeChannel();
      }
      serviceOffline();
    }
    if (!acceptIfNeeded())
      continue;
    long n = channel_->read(buffer.data(), buffer.size(), sliceMs);
    std::lock_guard<std::mutex> guard(lock_);
    uint64_t now = nowMs();
    if (n < 0) {
      closeChannel();
    } else {
      if (n > 0)
        handleInput(buffer.data(), static_cast<size_t>(n), now);
      if (pendingQueries_ > 0 && now - lastQueryMs_ >= kQueryGapMs)
        flushAddressQueries();
      sendHeartbeat(now);
      if (endpoint_.garbageEveryMs > 0 && now >= nextGarbageMs_) {
        nextGarbageMs_ = now + endpoint_.garbageEveryMs;
        for (uint8_t b : {0x01, 0x03, 0x05, 0x07})
          outbox_.push_back(b);
      }
      for (auto& module : modules_)
        module->tick(now);
      serviceOutput();
    }
    touched();
  }
}

// A restarting module is not there: its listener is closed until the time is
// up, then it listens on the same address and port again.
void Simulator::serviceOffline() {
  if (offlineUntilMs_ != 0 && port_) {
    if (channel_)
      return;  // the drop comes first
    port_->setPresent(nowMs() >= offlineUntilMs_);
    if (nowMs() >= offlineUntilMs_) {
      offlineUntilMs_ = 0;
      touched();
    }
    return;
  }
  if (offlineUntilMs_ == 0 || tcpPort_ == 0)
    return;
  if (listener_ != platform::kNoSocket && !channel_) {
    platform::socketClose(listener_);
    listener_ = platform::kNoSocket;
    listening_ = false;
  }
  if (nowMs() < offlineUntilMs_ || listener_ != platform::kNoSocket)
    return;
  listener_ = platform::tcpListen(listenAddress_, tcpPort_, 4);
  if (listener_ == platform::kNoSocket)
    return;  // tried again on the next turn
  listening_ = true;
  offlineUntilMs_ = 0;
  touched();
}

void Simulator::goOffline(uint32_t offlineMs) {
  dropRequested_ = true;
  dropWithReset_ = false;
  if (offlineMs > 0)
    offlineUntilMs_ = nowMs() + offlineMs;
}

bool Simulator::offline() const {
  std::lock_guard<std::mutex> guard(lock_);
  return offlineUntilMs_ != 0;
}

void Simulator::withLock(const std::function<void()>& f) {
  std::lock_guard<std::mutex> guard(lock_);
  f();
}

// Waits for a host connection while there is none; true when one is there.
bool Simulator::acceptIfNeeded() {
  if (channel_)
    return true;
  if (port_)
    return acceptFromPort();
  if (!listening_) {
    platform::sleepMilliseconds(kReadSliceMs);
    return false;
  }
  platform::SocketHandle socket = platform::tcpAccept(listener_, kAcceptSliceMs);
  if (socket == platform::kNoSocket)
    return false;
  std::lock_guard<std::mutex> guard(lock_);
  channel_ = makeSocketChannel(socket);
  ++stats_.connections;
  uint64_t now = nowMs();
  nextHeartbeatMs_ = now + endpoint_.heartbeatMs;
  touched();
  return true;
}

bool Simulator::acceptFromPort() {
  std::unique_ptr<Channel> channel = port_->accept(kAcceptSliceMs);
  if (!channel)
    return false;
  std::lock_guard<std::mutex> guard(lock_);
  channel_ = std::move(channel);
  ++stats_.connections;
  nextHeartbeatMs_ = nowMs() + endpoint_.heartbeatMs;
  touched();
  return true;
}

void Simulator::closeChannel() {
  if (!channel_)
    return;
  channel_->close(dropWithReset_);
  if (channel_->canDrop()) {
    channel_.reset();
    ++stats_.disconnections;
  }
  dropWithReset_ = true;
  framer_->reset();
  outbox_.clear();
  pendingQueries_ = 0;
  linkStarted_ = false;
  heartbeatOutstanding_ = false;
}

void Simulator::handleInput(const uint8_t* bytes, size_t count, uint64_t now) {
  if (received_.size() + count > kReceivedLimit)
    received_.erase(received_.begin(), received_.begin() + static_cast<long>(received_.size() / 2));
  received_.insert(received_.end(), bytes, bytes + count);
  for (size_t i = 0; i < count; ++i) {
    Packet packet;
    Framer::Result result = framer_->feed(bytes[i], now, &packet);
    if (result == Framer::Result::FramingError) {
      ++stats_.framingErrors;
    } else if (result == Framer::Result::Packet) {
      ++stats_.packets;
      if (packet.address == kQueryAddress && packet.length == 0) {
        ++pendingQueries_;
        lastQueryMs_ = now;
        if (pendingQueries_ == kBurstPairs)
          answerResync();
      } else {
        flushAddressQueries();
        handlePacket(packet);
      }
    }
  }
  stats_.framingErrors += framer_->staleDrops() - staleDropsSeen_;
  staleDropsSeen_ = framer_->staleDrops();
}

void Simulator::handlePacket(const Packet& packet) {
  if (packet.address == kLinkControlAddress) {
    handleLinkControl(packet);
    return;
  }
  if (packet.address == primary().address() && packet.length == 2 && packet.data[0] == 0) {
    checkHeartbeatAnswer(packet);
    return;
  }
  Module* module = moduleAt(packet.address);
  if (!module) {
    ++stats_.unrouted;
    return;
  }
  if (!module->dispatch(packet))
    ++stats_.unhandled;
}

void Simulator::queueOutput(const Packet& packet) {
  std::vector<uint8_t> bytes = packet.wire();
  outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
}

void Simulator::serviceOutput() {
  if (outbox_.empty())
    return;
  std::vector<uint8_t> bytes;
  bytes.swap(outbox_);
  if (endpoint_.silent || !channel_)
    return;
  if (!channel_->write(bytes.data(), bytes.size()) && channel_->canDrop())
    closeChannel();
}

void Simulator::touched() {
  changed_.notify_all();
}

void Simulator::injectBytes(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
}

void Simulator::injectGarbage(size_t count) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i)
    bytes.push_back(static_cast<uint8_t>((i * 2 + 1) & 0xFF));
  injectBytes(bytes);
}

void Simulator::setSilent(bool silent) {
  std::lock_guard<std::mutex> guard(lock_);
  endpoint_.silent = silent;
}

void Simulator::dropConnection(bool reset) {
  std::lock_guard<std::mutex> guard(lock_);
  dropRequested_ = true;
  dropWithReset_ = reset;
}

void Simulator::setHeartbeatMs(uint32_t ms) {
  std::lock_guard<std::mutex> guard(lock_);
  endpoint_.heartbeatMs = ms;
  nextHeartbeatMs_ = nowMs() + ms;
}

void Simulator::setGarbageEveryMs(uint32_t ms) {
  std::lock_guard<std::mutex> guard(lock_);
  endpoint_.garbageEveryMs = ms;
  nextGarbageMs_ = nowMs() + ms;
}

void Simulator::sendPacket(const Packet& packet) {
  std::lock_guard<std::mutex> guard(lock_);
  queueOutput(packet);
}

Stats Simulator::stats() const {
  std::lock_guard<std::mutex> guard(lock_);
  return stats_;
}

bool Simulator::waitFor(const std::function<bool(const Stats&)>& condition, uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return condition(stats_); });
}

std::vector<uint8_t> Simulator::received() const {
  std::lock_guard<std::mutex> guard(lock_);
  return received_;
}

void Simulator::clearReceived() {
  std::lock_guard<std::mutex> guard(lock_);
  received_.clear();
}

bool Simulator::waitForReceived(const std::function<bool(const std::vector<uint8_t>&)>& condition,
                                uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return condition(received_); });
}

}  // namespace simmodule
