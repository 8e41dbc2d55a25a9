// -D -t TCPIP: the answers to one discovery request, merged and capped, and
// the modules behind them read in parallel under one deadline. A peer that
// answers many times, or whose connection reads stall, costs a bounded time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

#include "DeviceList.h"
#include "UpdaterDisplay.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers are taken until this long after the request (normal discovery ends
// 2 s after the last answer, well before).
constexpr auto kAnswerBudget = std::chrono::seconds(10);
// No module read starts later than this after the request; one that started
// ends within its own connect and read time-outs.
constexpr auto kReadBudget = std::chrono::seconds(20);
// Modules read at the same time.
constexpr unsigned kReaders = 16;

struct Collection {
  std::vector<DeviceListEntry>* entries;
  size_t first;  // where this listing's entries begin
  Clock::time_point stopAt;
  size_t repeated = 0;
  size_t dropped = 0;
};

bool sameModule(const linkSpec& a, const linkSpec& b) {
  return a.serialNumber == b.serialNumber && a.ipAddress == b.ipAddress;
}

bool collectAnswer(const linkSpec* spec, bool* found, void* ref) {
  Collection* c = static_cast<Collection*>(ref);
  std::vector<DeviceListEntry>& entries = *c->entries;
  const auto begin = entries.begin() + static_cast<std::ptrdiff_t>(c->first);
  if (std::any_of(begin, entries.end(),
                  [spec](const DeviceListEntry& e) { return sameModule(e.spec, *spec); })) {
    ++c->repeated;
  } else if (entries.size() - c->first >= kMaxTcpipRows) {
    ++c->dropped;
  } else {
    DeviceListEntry entry;
    entry.spec = *spec;
    entries.push_back(entry);
    *found = true;
  }
  return Clock::now() < c->stopAt;
}

// Reads entries[first..] with up to kReaders threads; each entry is read by
// one thread only, and the vector does not change meanwhile.
void readEntries(std::vector<DeviceListEntry>& entries, size_t first, Clock::time_point deadline) {
  std::atomic<size_t> next{first};
  auto reader = [&entries, &next, deadline] {
    for (size_t i = next++; i < entries.size(); i = next++) {
      DeviceListEntry& entry = entries[i];
      entry.modelName = aDefs_GetModelName(static_cast<int>(entry.spec.model));
      if (Clock::now() >= deadline) {
        entry.error = aErrTimeout;
        entry.unread = "not read: the listing's time was up";
        continue;
      }
      readEntry(entry);
    }
  };
  const size_t count = entries.size() - first;
  std::vector<std::thread> threads;
  for (size_t i = 1; i < std::min<size_t>(count, kReaders); ++i) {
    try {
      threads.emplace_back(reader);
    } catch (const std::system_error&) {
      break;  // fewer readers: the calling thread reads the rest
    }
  }
  reader();
  for (std::thread& thread : threads) thread.join();
}

}  // namespace

void discoverTcpipDevices(UpdaterDisplayInterface* display, std::vector<DeviceListEntry>& entries) {
  const Clock::time_point start = Clock::now();
  Collection collection{&entries, entries.size(), start + kAnswerBudget};
  aDiscovery_EnumerateModules(LINKTYPE_TCPIP, collectAnswer, &collection);
  if (collection.repeated)
    debugPrint(DEBUG_Network, "NETWORK: %u repeated discovery answers merged\n",
               static_cast<unsigned>(collection.repeated));
  if (collection.dropped)
    display->print(1, "%u discovery answers dropped: a listing holds at most %u modules",
                   static_cast<unsigned>(collection.dropped), static_cast<unsigned>(kMaxTcpipRows));
  readEntries(entries, collection.first, start + kReadBudget);
}
