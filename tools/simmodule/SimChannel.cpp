// Socket and pseudo-terminal channels of the simulated module.
#include "SimChannel.h"

#include "platform/time.h"

namespace simmodule {

namespace {

// How long a write may wait for the host to make room.
const uint32_t kWriteStallMs = 500;

class SocketChannel : public Channel {
 public:
  explicit SocketChannel(platform::SocketHandle socket) : socket_(socket) {
    platform::socketSetNoDelay(socket_);
    platform::socketSetNonBlocking(socket_);
  }
  ~SocketChannel() override { close(false); }

  long read(uint8_t* buffer, size_t size, uint32_t timeoutMs) override {
    if (socket_ == platform::kNoSocket)
      return -1;
    if (!platform::socketWaitReadable(socket_, timeoutMs))
      return 0;
    size_t received = 0;
    platform::NetResult result = platform::socketReceive(socket_, buffer, size, &received);
    if (result == platform::NetResult::Ok)
      return static_cast<long>(received);
    return result == platform::NetResult::WouldBlock ? 0 : -1;
  }

  bool write(const uint8_t* bytes, size_t count) override {
    size_t done = 0;
    uint64_t start = platform::monotonicMilliseconds();
    while (done < count && socket_ != platform::kNoSocket) {
      size_t sent = 0;
      platform::NetResult result = platform::socketSend(socket_, bytes + done, count - done, &sent);
      if (result != platform::NetResult::Ok && result != platform::NetResult::WouldBlock)
        return false;
      done += sent;
      if (done < count) {
        if (platform::monotonicMilliseconds() - start > kWriteStallMs)
          return false;
        platform::sleepMilliseconds(1);
      }
    }
    return done == count;
  }

  void close(bool reset) override {
    if (socket_ == platform::kNoSocket)
      return;
    if (reset)
      platform::socketSetLingerZero(socket_);
    platform::socketClose(socket_);
    socket_ = platform::kNoSocket;
  }

  bool canDrop() const override { return true; }

 private:
  platform::SocketHandle socket_;
};

class PtyChannel : public Channel {
 public:
  explicit PtyChannel(platform::Pty* pty) : pty_(pty) {}
  ~PtyChannel() override { platform::ptyClose(pty_); }

  long read(uint8_t* buffer, size_t size, uint32_t timeoutMs) override {
    long n = platform::ptyRead(pty_, buffer, size, timeoutMs);
    if (n >= 0)
      return n;
    // A failing pseudo-terminal is not a lost host: wait out the time given
    // rather than spin, and try again.
    platform::sleepMilliseconds(timeoutMs);
    return 0;
  }

  bool write(const uint8_t* bytes, size_t count) override {
    return platform::ptyWrite(pty_, bytes, count, kWriteStallMs);
  }

  void close(bool) override {}
  bool canDrop() const override { return false; }

 private:
  platform::Pty* pty_;
};

}  // namespace

std::unique_ptr<Channel> makeSocketChannel(platform::SocketHandle socket) {
  return std::unique_ptr<Channel>(new SocketChannel(socket));
}

std::unique_ptr<Channel> makePtyChannel(platform::Pty* pty) {
  return std::unique_ptr<Channel>(new PtyChannel(pty));
}

}  // namespace simmodule
