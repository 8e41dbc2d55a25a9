// The simulated boot loader on a pseudo-terminal, with optional wire time.
#include "IspSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>

namespace {

uint64_t nowNs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

void sleepUntilNs(uint64_t when) {
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(when / 1000000000ull);
  ts.tv_nsec = static_cast<long>(when % 1000000000ull);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

uint32_t rateOf(speed_t speed) {
  switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    default: return 0;
  }
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string temporary = path + ".tmp";
  FILE* file = fopen(temporary.c_str(), "wb");
  if (!file)
    return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = fclose(file) == 0 && ok;
  if (ok && rename(temporary.c_str(), path.c_str()) != 0)
    ok = false;
  if (!ok)
    remove(temporary.c_str());
  return ok;
}

}  // namespace

// One item for the host: bytes, or a time the part is busy.
struct PendingOutput {
  std::string bytes;
  uint32_t pauseMs = 0;
  bool saveFlash = false;
};

// Bytes read ahead of the emulated wire at most.
const size_t kInputBacklog = 1 << 16;

class IspSimulator::Runner : public IspLoaderModel::Output {
 public:
  explicit Runner(const IspSimOptions& options) : options_(options), model_(options, this) {}

  ~Runner() { close(); }

  bool open(std::string* error) {
    if (!options_.loadFile.empty() && !loadFlash(error))
      return false;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char path[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, path, sizeof path) != 0) {
      *error = "cannot create a pseudo-terminal";
      return false;
    }
    path_ = path;
    // Holding the slave open keeps the line up while hosts come and go.
    slave_ = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios t;
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) {
      *error = "cannot open " + path_;
      return false;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (!options_.portFile.empty() && !writeFileAtomically(options_.portFile, std::vector<uint8_t>(path_.begin(), path_.end()))) {
      *error = "cannot write " + options_.portFile;
      return false;
    }
    stop_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
  }

  void close() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
    if (slave_ >= 0)
      ::close(slave_);
    if (master_ >= 0)
      ::close(master_);
    slave_ = master_ = -1;
  }

  // Output of the model: queued while the lock is held, sent by run().
  void send(const std::string& bytes) override { queue_.push_back(PendingOutput{bytes, 0, false}); }
  void pause(uint32_t milliseconds) override { queue_.push_back(PendingOutput{"", milliseconds, false}); }
  void flashChanged() override {
    if (!options_.flashFile.empty())
      queue_.push_back(PendingOutput{"", 0, true});
  }

  std::string path_;
  mutable std::mutex mutex_;
  IspSimOptions options_;
  IspLoaderModel model_;

 private:
  bool loadFlash(std::string* error) {
    FILE* file = fopen(options_.loadFile.c_str(), "rb");
    if (!file) {
      *error = "cannot read " + options_.loadFile;
      return false;
    }
    std::vector<uint8_t>& flash = model_.flash();
    size_t got = fread(flash.data(), 1, flash.size(), file);
    bool tooLarge = got == flash.size() && fgetc(file) != EOF;
    fclose(file);
    if (tooLarge) {
      *error = options_.loadFile + " is larger than the flash (512 KB)";
      return false;
    }
    return true;
  }

  uint64_t charTimeNs() {
    if (!options_.wireTime)
      return 0;
    uint32_t rate = options_.baud;
    if (rate == 0) {
      struct termios t;
      if (tcgetattr(master_, &t) == 0)
        rate = rateOf(cfgetospeed(&t));
    }
    return rate ? 10ull * 1000000000ull / rate : 0;
  }

  void run() {
    prctl(PR_SET_TIMERSLACK, 1000UL);  // wake within a microsecond: a character is ~87 us at 115200
    std::deque<std::pair<uint8_t, uint64_t>> input;  // byte and when it was seen
    uint64_t rxFreeAt = 0, txFreeAt = 0;
    while (!stop_) {
      // Bytes are taken off the terminal as soon as they are there, so that
      // each is stamped near the moment it arrived even while earlier ones
      // are still on the emulated wire.
      if (input.empty()) {
        struct pollfd p = {master_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
          continue;
      }
      if (input.size() < kInputBacklog && !takeInput(&input) && input.empty())
        continue;
      uint64_t charNs = charTimeNs();
      auto [byte, seen] = input.front();
      input.pop_front();
      if (charNs) {
        rxFreeAt = std::max(rxFreeAt, seen) + charNs;
        sleepUntilNs(rxFreeAt);
      }
      std::deque<PendingOutput> out;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        model_.receive(byte);
        out.swap(queue_);
      }
      transmit(out, charNs, &txFreeAt);
    }
  }

  // Reads what the host has written. False when nothing was there.
  bool takeInput(std::deque<std::pair<uint8_t, uint64_t>>* input) {
    uint8_t buffer[4096];
    ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) {
      if (got < 0 && errno != EAGAIN && errno != EINTR)
        usleep(10000);  // no host on the line
      return false;
    }
    uint64_t seen = nowNs();
    for (ssize_t i = 0; i < got; ++i)
      input->emplace_back(buffer[i], seen);
    return true;
  }

  void transmit(std::deque<PendingOutput>& out, uint64_t charNs, uint64_t* txFreeAt) {
    for (PendingOutput& item : out) {
      if (item.pauseMs) {
        uint64_t until = nowNs() + item.pauseMs * 1000000ull;
        while (!stop_ && nowNs() < until)
          usleep(1000);
      }
      if (item.saveFlash) {
        std::vector<uint8_t> flash;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          flash = model_.flash();
        }
        writeFileAtomically(options_.flashFile, flash);
      }
      // One burst goes out on one schedule, so that late wake-ups do not add up.
      uint64_t due = std::max(*txFreeAt, nowNs());
      for (char c : item.bytes) {
        if (charNs) {
          due += charNs;
          sleepUntilNs(due);
        }
        writeAll(reinterpret_cast<const uint8_t*>(&c), 1);
      }
      *txFreeAt = due;
    }
  }

  void writeAll(const uint8_t* bytes, size_t count) {
    size_t done = 0;
    uint64_t start = nowNs();
    while (done < count && !stop_) {
      ssize_t put = write(master_, bytes + done, count - done);
      if (put > 0) {
        done += static_cast<size_t>(put);
        continue;
      }
      if (put < 0 && errno != EAGAIN && errno != EINTR)
        return;
      if (nowNs() - start > 2000000000ull)
        return;  // nobody reads: the byte is lost as on a wire
      usleep(1000);
    }
  }

  std::deque<PendingOutput> queue_;
  std::atomic<bool> stop_{true};
  std::thread thread_;
  int master_ = -1;
  int slave_ = -1;
};

IspSimulator::IspSimulator(const IspSimOptions& options) : options_(options) {}

IspSimulator::~IspSimulator() {
  stop();
}

bool IspSimulator::start(std::string* error) {
  stop();
  runner_.reset(new Runner(options_));
  if (!runner_->open(error)) {
    runner_.reset();
    return false;
  }
  running_ = true;
  return true;
}

void IspSimulator::stop() {
  if (!runner_ || !running_)
    return;
  running_ = false;
  runner_->close();
  if (!options_.flashFile.empty())
    saveFlash(options_.flashFile);
}

std::string IspSimulator::portPath() const {
  return runner_ ? runner_->path_ : std::string();
}

std::vector<uint8_t> IspSimulator::flash() const {
  std::lock_guard<std::mutex> lock(runner_->mutex_);
  return runner_->model_.flash();
}

std::vector<std::string> IspSimulator::commands() const {
  std::lock_guard<std::mutex> lock(runner_->mutex_);
  return runner_->model_.commands();
}

std::vector<std::string> IspSimulator::dataLines() const {
  std::lock_guard<std::mutex> lock(runner_->mutex_);
  return runner_->model_.dataLines();
}

bool IspSimulator::started() const {
  std::lock_guard<std::mutex> lock(runner_->mutex_);
  return runner_->model_.started();
}

uint32_t IspSimulator::startAddress() const {
  std::lock_guard<std::mutex> lock(runner_->mutex_);
  return runner_->model_.startAddress();
}

bool IspSimulator::saveFlash(const std::string& path) const {
  return writeFileAtomically(path, flash());
}
