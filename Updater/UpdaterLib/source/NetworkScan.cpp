// The serial-number question of the scan behind a routing module: every
// address is asked before the common wait, and one claimer takes any of the
// expected answers, so that no answer waits in the link's queue for a caller
// that wants another one (and ages out there).
#include "NetworkScan.h"

#include "Kelvarion.h"
#include "ModuleCodes.h"
#include "aTime.h"

using namespace Mirovane::Kelvarion;

namespace {

// Marks a reply whose length carried no well-formed value.
const ueiType kNoValue = static_cast<ueiType>(0xFF);
// Questions are asked in rounds so that answers never fill the link's
// receive queue (which empties itself past 20 packets): a round ends when all
// its addresses have answered or none has for kQuietMs, so even the answers
// of two rounds together fit.
const unsigned kRoundSize = 10;
const uint32_t kQuietMs = 8;

struct Question {
  uei reply{};  // what the answer must match; filled in by the match
  bool asked = false;
  bool answered = false;
};

struct Scan {
  Question at[256];  // by module address
  unsigned outstanding = 0;
};

// Claims an answer to any question still open (the reply filter of a single
// UEI get, per address).
uint8_t claimAnswer(const aPacket* packet, const void* ref) {
  Scan* scan = static_cast<Scan*>(const_cast<void*>(ref));
  Question& question = scan->at[packet->address];
  if (!question.asked || question.answered || !Link::sUEIFilter(packet, &question.reply)) return 0;
  question.answered = true;
  scan->outstanding--;
  return 1;
}

bool roundOpen(const Scan& scan, const std::vector<uint8_t>& round) {
  for (uint8_t address : round)
    if (scan.at[address].asked && !scan.at[address].answered) return true;
  return false;
}

// Takes the round's answers as they come (and any other expected answer).
void settleRound(Link& link, Scan& scan, const std::vector<uint8_t>& round) {
  while (roundOpen(scan, round) && link.awaitPacket(claimAnswer, &scan, kQuietMs) == aErrNone) {
  }
}

void ask(Link& link, Scan& scan, uint8_t address) {
  uei request{};
  request.module = address;
  request.command = SystemClass::COMMAND;
  request.option = SYSTEM_SERIAL_NUMBER | UEI_OPTION_GET;
  request.specifier = UEI_SPECIFIER_REQUEST;
  request.type = UEI_TYPE_NONE;
  if (link.sendUEI(request) != aErrNone) return;
  Question& question = scan.at[address];
  question.reply = request;
  question.reply.option = SYSTEM_SERIAL_NUMBER;
  question.reply.specifier = 0;
  question.reply.type = kNoValue;
  question.asked = true;
  scan.outstanding++;
}

void collect(Link& link, Scan& scan, uint32_t waitMs) {
  const uint32_t start = aTime_GetMSTicks();
  while (scan.outstanding > 0) {
    const uint32_t elapsed = aTime_GetMSTicks() - start;
    if (elapsed >= waitMs) break;
    const aErr err = link.awaitPacket(claimAnswer, &scan, waitMs - elapsed);
    if (err == aErrConnection) break;
    // A link that is resynchronising hands out nothing and returns at once.
    if (err != aErrNone) aTime_MSSleep(1);
  }
}

}  // namespace

std::vector<NetworkAnswer> askNetworkSerialNumbers(Link& link, uint8_t first, uint8_t last, uint32_t waitMs) {
  Scan scan;
  std::vector<uint8_t> round;
  for (unsigned address = first; address <= last; address += 2) {
    round.push_back(static_cast<uint8_t>(address));
    ask(link, scan, round.back());
    if (round.size() == kRoundSize || address + 2 > last) {
      settleRound(link, scan, round);
      round.clear();
    }
  }
  collect(link, scan, waitMs);
  std::vector<NetworkAnswer> answers;
  for (unsigned address = first; address <= last; address += 2) {
    const Question& question = scan.at[address];
    if (!question.answered || (question.reply.specifier & UEI_SPECIFIER_ERROR) || question.reply.type == kNoValue)
      continue;
    answers.push_back({static_cast<uint8_t>(address), question.reply.value.intVal});
  }
  return answers;
}
