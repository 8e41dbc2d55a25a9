#ifndef SIMMODULE_SIMMODULE_H
#define SIMMODULE_SIMMODULE_H
// A simulated module: the module side of the packet link, for development and
// tests. One Simulator is one endpoint (a TCP listener, a pseudo-terminal or
// an in-process socket pair) with one or more modules behind it: the primary
// module answers the link-level exchanges (link start and stop, heartbeat,
// resynchronisation, module-address query); further modules stand behind it
// as behind a routing module and answer packets sent to their addresses.
//
// Module commands are handled by a registry: a family of commands is a file
// with an install function (see SimFamilies.h) that registers a handler per
// command code on a Module. Handlers run on the simulator's thread.
//
// The simulator has its own small framing code on purpose: it is the peer of
// the program's link code and must not share its mistakes.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "aStream.h"
#include "platform/socket.h"

namespace simmodule {

constexpr uint8_t kMaxData = 28;
constexpr uint8_t kLinkControlAddress = 0xAF;  // link start (data 1) and stop (data 0)
constexpr uint8_t kQueryAddress = 0xAD;        // module-address query; resync burst bytes
// Each empty packet to 0xAD is a module-address query; six in a row (the 12
// bytes 0xAD, 0x00 ...) are the host's resynchronisation burst.
constexpr uint32_t kBurstPairs = 6;
// Queries not followed by more within this time are answered as queries (a
// host writes its burst in one go, so its bytes come together).
constexpr uint64_t kQueryGapMs = 4;

// One packet: address, length 0-28, data.
struct Packet {
  uint8_t address = 0;
  uint8_t length = 0;
  uint8_t data[kMaxData] = {};

  static Packet make(uint8_t address, std::initializer_list<uint8_t> bytes);
  static Packet make(uint8_t address, const uint8_t* bytes, size_t count);
  // Wire bytes: address, length, data.
  std::vector<uint8_t> wire() const;
};

// What a module says about itself.
struct ModuleConfig {
  uint32_t serialNumber = 0x0012ABCD;
  uint8_t model = 19;
  uint8_t address = 2;                 // even, non-zero
  uint32_t firmwareVersion = 0x1200000F;  // packed: major 31-28, minor 27-24, patch 23-0
  uint32_t build = 1;
  // The processor's identifier, answered to system option 39, subindices 0-3.
  uint32_t identifier[4] = {0x01234567, 0x89ABCDEF, 0x02468ACE, 0x13579BDF};
};

// How the endpoint behaves.
struct EndpointConfig {
  uint32_t heartbeatMs = 1000;     // period of heartbeats, 0 = none
  bool heartbeatBeforeStart = false;  // also before the host's link start
  uint8_t resyncByte = 0;          // byte X of the resync answer; 0 = the primary's address
  uint32_t garbageEveryMs = 0;     // fault: a burst of garbage bytes this often, 0 = never
  bool silent = false;             // fault: answer nothing, send nothing
};

// Parses one key=value setting (keys: serial, model, address, firmware, build,
// identifier, heartbeat, heartbeat-before-start, resync-byte, garbage, silent).
// Numbers may be decimal or 0x-hex; firmware may also be "major.minor.patch";
// identifier is four comma-separated numbers (subindices 0-3).
bool applySetting(const std::string& key, const std::string& value, ModuleConfig* module, EndpointConfig* endpoint,
                  std::string* error);
// Reads a file of key=value lines ('#' starts a comment).
bool loadConfigFile(const std::string& path, ModuleConfig* module, EndpointConfig* endpoint, std::string* error);
// 0x1200000F from "1.2.15" or "0x1200000F".
bool parseFirmwareVersion(const std::string& text, uint32_t* packed);

// Counters of what happened, for tests and the executable's summary.
struct Stats {
  uint32_t connections = 0;       // host connections accepted (TCP) or attached
  uint32_t disconnections = 0;    // host connections ended (by either side)
  uint32_t linkStarts = 0;
  uint32_t linkStops = 0;
  uint32_t heartbeatsSent = 0;
  uint32_t heartbeatAnswers = 0;  // correct answers (0, v + 2)
  uint32_t heartbeatWrong = 0;    // answers with another value or none expected
  uint32_t heartbeatMissed = 0;   // heartbeats not answered before the next one
  uint32_t resyncBursts = 0;      // complete bursts answered
  uint32_t addressQueries = 0;    // queries answered
  uint32_t packets = 0;           // packets received (all addresses)
  uint32_t unrouted = 0;          // packets to an address nobody answers for
  uint32_t unhandled = 0;         // packets to a module without a handler for the command
  uint32_t framingErrors = 0;     // bytes dropped because they broke the framing
};

class Simulator;

// One module behind the endpoint.
class Module {
 public:
  // A handler gets the packet (addressed to this module) and answers through
  // the module (send). Runs on the simulator's thread.
  using Handler = std::function<void(Module& module, const Packet& packet)>;
  // Called on the simulator's thread about every 5 ms with a millisecond clock.
  using Ticker = std::function<void(Module& module, uint64_t nowMs)>;

  Module(Simulator& simulator, const ModuleConfig& config);

  const ModuleConfig& config() const { return config_; }
  ModuleConfig& config() { return config_; }
  uint8_t address() const { return config_.address; }
  Simulator& simulator() { return simulator_; }

  // Registers the handler of a command code (data byte 0); replaces an older one.
  void onCommand(uint8_t command, Handler handler);
  bool handles(uint8_t command) const;
  void addTicker(Ticker ticker);
  // Queues a packet from this module's address with these data bytes. From
  // handlers, tickers and configure() only; other threads use
  // Simulator::sendPacket.
  void send(const uint8_t* data, size_t length);
  void send(std::initializer_list<uint8_t> data);

  // Per-family state: a family keeps its own object here under its name.
  template <typename T>
  T& state(const std::string& name) {
    auto it = states_.find(name);
    if (it == states_.end())
      it = states_.emplace(name, std::make_shared<Holder<T>>()).first;
    return static_cast<Holder<T>*>(it->second.get())->value;
  }

  // Used by the simulator.
  bool dispatch(const Packet& packet);
  void tick(uint64_t nowMs);

 private:
  struct HolderBase {
    virtual ~HolderBase() = default;
  };
  template <typename T>
  struct Holder : HolderBase {
    T value{};
  };

  Simulator& simulator_;
  ModuleConfig config_;
  std::map<uint8_t, Handler> handlers_;
  std::vector<Ticker> tickers_;
  std::map<std::string, std::shared_ptr<HolderBase>> states_;
};

class Channel;
class Framer;
class Port;

class Simulator {
 public:
  Simulator(const ModuleConfig& primary, const EndpointConfig& endpoint = EndpointConfig());
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Choose one endpoint before start().
  // Listens on address (network byte order) and port (0 = any free one).
  bool listenTcp(uint32_t address, uint16_t port);
  uint16_t tcpPort() const { return tcpPort_; }
  // Opens a pseudo-terminal; its slave path is what the host opens as a serial port.
  bool openPty();
  std::string ptyPath() const { return ptyPath_; }
  // An endpoint of another kind (a USB device): the simulator takes it over.
  bool attachPort(std::unique_ptr<Port> port);
  // An in-process socket pair; returns the host's end (the caller closes it).
  platform::SocketHandle openPair();
  // The same, wrapped in a stream for the host (aLink_Create takes it).
  aStreamRef openPairStream();

  // Runs the endpoint on a thread of its own / stops it (closing everything).
  bool start();
  void stop();

  Module& primary() { return *modules_.front(); }
  // A module behind the primary, answering at its own address (routing).
  // Before start(), or inside configure().
  Module& addModule(const ModuleConfig& config);
  // Runs change with the simulator's lock held, so that modules, handlers
  // and tickers can be changed while it runs (change must not call the
  // simulator's locking functions).
  void configure(const std::function<void()>& change);
  Module* moduleAt(uint8_t address);

  // Faults and raw traffic (any thread).
  void injectBytes(const std::vector<uint8_t>& bytes);
  // count bytes that are not a valid packet start (odd addresses).
  void injectGarbage(size_t count);
  void setSilent(bool silent);
  // Closes the host's connection: reset (RST) or an orderly close. TCP only;
  // the listener stays and accepts the next connection.
  void dropConnection(bool reset);
  // For handlers and tickers (lock held): ends the host's connection in order
  // and keeps a TCP endpoint from listening (a USB device off its bus) for
  // offlineMs, as a module does while it restarts; with 0 only the connection
  // is dropped.
  void goOffline(uint32_t offlineMs);
  // True while a restart keeps the module away (any thread).
  bool offline() const;
  // The counters, for handlers and tickers (lock held).
  const Stats& currentStats() const { return stats_; }
  // Runs f with the simulator's lock held, as handlers run (any thread but
  // the simulator's own).
  void withLock(const std::function<void()>& f);
  void setHeartbeatMs(uint32_t ms);
  void setGarbageEveryMs(uint32_t ms);
  // Queues a packet as if module address sent it (any thread).
  void sendPacket(const Packet& packet);

  Stats stats() const;
  // Waits until condition(stats) holds; false after timeoutMs.
  bool waitFor(const std::function<bool(const Stats&)>& condition, uint32_t timeoutMs) const;
  // Every byte received from the host since the last clear (at most 1 MiB kept).
  std::vector<uint8_t> received() const;
  void clearReceived();
  // Waits until the received bytes satisfy condition.
  bool waitForReceived(const std::function<bool(const std::vector<uint8_t>&)>& condition, uint32_t timeoutMs) const;

  // Used by Module::send; the simulator's lock is held.
  void queueOutput(const Packet& packet);
  static uint64_t nowMs();

 private:
  void run();
  bool acceptIfNeeded();
  bool acceptFromPort();
  void serviceOutput();
  void handleInput(const uint8_t* bytes, size_t count, uint64_t now);
  void handlePacket(const Packet& packet);
  void handleLinkControl(const Packet& packet);
  void flushAddressQueries();
  // How long until pending address queries are due to be answered (at least
  // 1 ms; UINT32_MAX when none is pending).
  uint32_t msUntilQueriesDue() const;
  void answerResync();
  void sendHeartbeat(uint64_t now);
  void checkHeartbeatAnswer(const Packet& packet);
  void writeRaw(const std::vector<uint8_t>& bytes);
  void closeChannel();
  void serviceOffline();
  void touched();

  ModuleConfig primaryConfig_;
  EndpointConfig endpoint_;
  std::vector<std::unique_ptr<Module>> modules_;

  // Endpoint resources (owned by the simulator's thread once started).
  platform::SocketHandle listener_ = platform::kNoSocket;
  uint16_t tcpPort_ = 0;
  std::string ptyPath_;
  std::unique_ptr<Channel> channel_;
  std::unique_ptr<Port> port_;
  bool listening_ = false;

  std::thread thread_;
  bool running_ = false;
  bool stopRequested_ = false;

  // Guards everything below and the modules' state; handlers run under it.
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  Stats stats_;
  std::vector<uint8_t> received_;
  std::vector<uint8_t> outbox_;  // bytes for the host, written by the thread
  bool dropRequested_ = false;
  bool dropWithReset_ = true;
  bool linkStarted_ = false;
  uint32_t listenAddress_ = 0;
  uint64_t offlineUntilMs_ = 0;  // while non-zero the TCP listener is closed

  std::unique_ptr<Framer> framer_;  // framing of the bytes from the host
  uint32_t staleDropsSeen_ = 0;
  uint32_t pendingQueries_ = 0;  // empty packets to 0xAD not yet answered
  uint64_t lastQueryMs_ = 0;

  uint8_t heartbeatValue_ = 0;
  uint8_t heartbeatExpected_ = 0;
  bool heartbeatOutstanding_ = false;
  uint64_t nextHeartbeatMs_ = 0;
  uint64_t nextGarbageMs_ = 0;
};

// Installs the standard command families on a module (see SimFamilies.h).
void installStandardFamilies(Module& module);

}  // namespace simmodule

#endif
