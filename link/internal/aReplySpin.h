#ifndef KELVARION_INTERNAL_AREPLYSPIN_H
#define KELVARION_INTERNAL_AREPLYSPIN_H
// How long a caller that has just sent a request polls for its reply before
// it sleeps: a reply that comes within the budget is taken without the caller
// having to be woken. The budget shrinks while replies come later than that
// (halved after each slow one, down to no polling at all) and returns to the
// full length as soon as one comes in time. Kept per FIFO for callers that
// wait on the inbound queue, per link for callers that read the stream.
#include <cstdint>

namespace klv_link {

const uint32_t kReplySpinMaxUs = 100;
const uint32_t kReplySpinMinUs = 8;

// The polling budget after a wait that took `tookUs` (and found its reply
// or not).
inline uint32_t nextReplySpin(uint32_t spinUs, bool found, int64_t tookUs) {
  if (found && tookUs <= kReplySpinMaxUs) return kReplySpinMaxUs;
  spinUs /= 2;
  return spinUs < kReplySpinMinUs ? 0 : spinUs;
}

}  // namespace klv_link

#endif
