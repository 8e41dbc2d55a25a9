// Link-level exchanges of the primary module: link start and stop, the
// heartbeat and its answers, the resynchronisation answer and the
// module-address query. The simulator's lock is held.
#include "SimModule.h"

namespace simmodule {

void Simulator::handleLinkControl(const Packet& packet) {
  if (packet.length != 1)
    return;
  if (packet.data[0] == 0x01) {
    ++stats_.linkStarts;
    linkStarted_ = true;
    nextHeartbeatMs_ = nowMs() + endpoint_.heartbeatMs;
    heartbeatOutstanding_ = false;
  } else if (packet.data[0] == 0x00) {
    ++stats_.linkStops;
    linkStarted_ = false;
    heartbeatOutstanding_ = false;
  }
}

void Simulator::answerResync() {
  pendingQueries_ = 0;
  uint8_t x = endpoint_.resyncByte ? endpoint_.resyncByte : primary().address();
  for (uint8_t b : {x, uint8_t(0), x, uint8_t(0)})
    outbox_.push_back(b);
  ++stats_.resyncBursts;
}

void Simulator::flushAddressQueries() {
  for (; pendingQueries_ > 0; --pendingQueries_) {
    queueOutput(Packet::make(primary().address(), {}));
    ++stats_.addressQueries;
  }
}

uint32_t Simulator::msUntilQueriesDue() const {
  if (pendingQueries_ == 0)
    return UINT32_MAX;
  const uint64_t quietMs = nowMs() - lastQueryMs_;
  return quietMs + 1 >= kQueryGapMs ? 1 : static_cast<uint32_t>(kQueryGapMs - quietMs);
}

void Simulator::sendHeartbeat(uint64_t now) {
  if (endpoint_.heartbeatMs == 0 || endpoint_.silent || !(linkStarted_ || endpoint_.heartbeatBeforeStart))
    return;
  if (now < nextHeartbeatMs_)
    return;
  if (heartbeatOutstanding_)
    ++stats_.heartbeatMissed;
  nextHeartbeatMs_ = now + endpoint_.heartbeatMs;
  queueOutput(Packet::make(primary().address(), {0, heartbeatValue_}));
  heartbeatExpected_ = static_cast<uint8_t>(heartbeatValue_ + 2);
  heartbeatOutstanding_ = true;
  ++heartbeatValue_;
  ++stats_.heartbeatsSent;
}

void Simulator::checkHeartbeatAnswer(const Packet& packet) {
  if (heartbeatOutstanding_ && packet.data[1] == heartbeatExpected_) {
    ++stats_.heartbeatAnswers;
    heartbeatOutstanding_ = false;
  } else {
    ++stats_.heartbeatWrong;
  }
}

}  // namespace simmodule
