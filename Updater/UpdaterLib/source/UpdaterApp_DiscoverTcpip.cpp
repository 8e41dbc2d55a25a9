// -D -t TCPIP: the answers to one discovery request, merged and capped, and
// the modules behind them read in parallel under one deadline. A peer that
// answers many times, or whose connection reads stall, costs a bounded time.
#include <algorithm>
#include <atomic>
#include <vector>

#include "DeviceList.h"
#include "UpdaterDisplay.h"
#include "aThread.h"
#include "aTime.h"

namespace {

// Answers are taken until this long after the request (normal discovery ends
// 2 s after the last answer, well before).
constexpr uint32_t kAnswerBudgetMs = 10000;
// No module read starts later than this after the request; one that started
// ends within its own connect and read time-outs.
constexpr uint32_t kReadBudgetMs = 20000;
// Modules read at the same time.
constexpr unsigned kReaders = 16;

struct Collection {
  std::vector<DeviceListEntry>* entries;
  size_t first;  // where this listing's entries begin
  uint32_t start;  // aTime_GetMSTicks of the request
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
  return aTime_GetMSTicks() - c->start < kAnswerBudgetMs;
}

// The entries still to read, shared by the readers; each entry is read by
// one reader only, and the vector does not change meanwhile.
struct Readers {
  std::vector<DeviceListEntry>& entries;
  std::atomic<size_t> next;
  uint32_t start;  // aTime_GetMSTicks of the request
};

void readRemaining(void* ref) {
  Readers& r = *static_cast<Readers*>(ref);
  for (size_t i = r.next++; i < r.entries.size(); i = r.next++) {
    DeviceListEntry& entry = r.entries[i];
    entry.modelName = aDefs_GetModelName(static_cast<int>(entry.spec.model));
    if (aTime_GetMSTicks() - r.start >= kReadBudgetMs) {
      entry.error = aErrTimeout;
      entry.unread = "not read: the listing's time was up";
      continue;
    }
    readEntry(entry);
  }
}

// Reads entries[first..] with up to kReaders threads, the calling one among them.
void readEntries(std::vector<DeviceListEntry>& entries, size_t first, uint32_t start) {
  Readers readers{entries, {first}, start};
  const size_t count = entries.size() - first;
  std::vector<aThreadRef> threads;
  for (size_t i = 1; i < std::min<size_t>(count, kReaders); ++i) {
    aThreadRef thread = aThread_Start(readRemaining, &readers);
    if (!thread) break;  // fewer readers: the calling thread reads the rest
    threads.push_back(thread);
  }
  readRemaining(&readers);
  // Each reader ends within its reads' own connect and reply time-outs.
  for (aThreadRef& thread : threads) aThread_Destroy(&thread);
}

}  // namespace

void discoverTcpipDevices(UpdaterDisplayInterface* display, std::vector<DeviceListEntry>& entries) {
  const uint32_t start = aTime_GetMSTicks();
  Collection collection{&entries, entries.size(), start};
  aDiscovery_EnumerateModules(LINKTYPE_TCPIP, collectAnswer, &collection);
  if (collection.repeated)
    debugPrint(DEBUG_Network, "NETWORK: %u repeated discovery answers merged\n",
               static_cast<unsigned>(collection.repeated));
  if (collection.dropped)
    display->print(1, "%u discovery answers dropped: a listing holds at most %u modules",
                   static_cast<unsigned>(collection.dropped), static_cast<unsigned>(kMaxTcpipRows));
  readEntries(entries, collection.first, start);
}
