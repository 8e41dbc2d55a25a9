// The process-wide registry of packet links: identifiers to records, with
// the lookups that let links to one module be shared.
#include <unordered_map>

#include "internal/aLinkRecord.h"

namespace klv_link {

namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<aLinkRef, LinkRecord*> links;
  aLinkRef next = 1;
};

// Made on first use and never freed, so link threads that outlive static
// destruction at process exit still find it.
Registry& registry() {
  static Registry* instance = new Registry;
  return *instance;
}

void freeRecord(LinkRecord* link) {
  if (link->assembly) aPacket_Destroy(&link->assembly);
  link->check = 0;
  delete link;
}

}  // namespace

std::mutex& registryLock() { return registry().lock; }

LinkRecord* registryFind(aLinkRef id) {
  auto& links = registry().links;
  auto it = links.find(id);
  return (it != links.end() && it->second->check == kLinkCheck) ? it->second : nullptr;
}

LinkRecord* registryFindShared(Transport transport, uint32_t key, uint16_t port) {
  for (auto& item : registry().links) {
    LinkRecord* link = item.second;
    if (link->transport == transport && link->key == key && (transport != kTransportTCPIP || link->port == port))
      return link;
  }
  return nullptr;
}

void registryInsert(LinkRecord* link) {
  Registry& reg = registry();
  do {
    link->id = reg.next++;
  } while (link->id == 0 || reg.links.count(link->id) != 0);
  reg.links[link->id] = link;
}

void registryRemove(LinkRecord* link) { registry().links.erase(link->id); }

void releaseUse(LinkRecord* link) {
  if (link->users.fetch_sub(1) == 1) freeRecord(link);
}

LinkUse::LinkUse(aLinkRef id) {
  std::lock_guard<std::mutex> guard(registryLock());
  link_ = registryFind(id);
  if (link_) link_->users.fetch_add(1);
}

LinkUse::~LinkUse() {
  if (link_) releaseUse(link_);
}

}  // namespace klv_link
