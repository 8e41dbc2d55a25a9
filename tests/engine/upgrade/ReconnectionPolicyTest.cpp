// The reconnection owner's policies without a module: how many attempts,
// how far apart, what each attempt looks for, and the order of USB and TCP/IP
// when a module is first reached.
#include <gtest/gtest.h>

#include <vector>

#include "UpdaterApp.h"
#include "upgrade/Reconnection.h"

using upgrade::LookFor;
using upgrade::ReconnectCandidate;
using upgrade::ReconnectPolicy;

namespace {

// Runs policy against candidates; the attempt that connects is given by
// number (1-based over every candidate tried), 0 for none.
struct Attempts {
  std::vector<ReconnectCandidate> tried;
  std::vector<uint32_t> pauses;
  aErr result = aErrNone;
};

Attempts run(const ReconnectPolicy& policy, const std::vector<ReconnectCandidate>& candidates,
        size_t connectsAt) {
  Attempts r;
  r.result = upgrade::runReconnectAttempts(
      policy, candidates,
      [&](const ReconnectCandidate& c) {
        r.tried.push_back(c);
        return r.tried.size() == connectsAt ? aErrNone : aErrNotFound;
      },
      [&](uint32_t ms) { r.pauses.push_back(ms); });
  return r;
}

TEST(ReconnectionPolicy, LoaderStartTriesItsRouteFiveTimesPausingAfterEach) {
  const auto candidates = upgrade::reconnectCandidates(
      upgrade::kReconnectAtLoaderStart.lookFor, LINKTYPE_TCPIP, 0x1234);
  ASSERT_EQ(1u, candidates.size());
  EXPECT_TRUE(candidates[0].sameRoute);

  const Attempts failed = run(upgrade::kReconnectAtLoaderStart, candidates, 0);
  EXPECT_EQ(aErrNotFound, failed.result);
  EXPECT_EQ(5u, failed.tried.size());
  EXPECT_EQ(std::vector<uint32_t>(5, 500), failed.pauses);

  const Attempts third = run(upgrade::kReconnectAtLoaderStart, candidates, 3);
  EXPECT_EQ(aErrNone, third.result);
  EXPECT_EQ(3u, third.tried.size());
  EXPECT_EQ(std::vector<uint32_t>(2, 500), third.pauses);
}

TEST(ReconnectionPolicy, BetweenStagesLooksForTheSerialOverTheTransportItWasReachedBy) {
  for (linkType reachedBy : {LINKTYPE_USB, LINKTYPE_TCPIP}) {
    const auto candidates = upgrade::reconnectCandidates(
        upgrade::kReconnectBetweenStages.lookFor, reachedBy, 0x40F5849A);
    ASSERT_EQ(1u, candidates.size());
    EXPECT_FALSE(candidates[0].sameRoute);
    EXPECT_EQ(reachedBy, candidates[0].type);
    EXPECT_EQ(0x40F5849Au, candidates[0].serial);
  }
  // A module behind a routing module is found over its own route.
  const auto routed = upgrade::reconnectCandidates(
      upgrade::kReconnectRoutedBetweenStages.lookFor, LINKTYPE_USB, 0x40F5849A);
  ASSERT_EQ(1u, routed.size());
  EXPECT_TRUE(routed[0].sameRoute);

  // Fifteen attempts a second apart, and no pause after the last.
  for (const ReconnectPolicy* policy :
       {&upgrade::kReconnectBetweenStages, &upgrade::kReconnectRoutedBetweenStages}) {
    SCOPED_TRACE(policy == &upgrade::kReconnectBetweenStages ? "between stages" : "between stages, routed");
    const Attempts failed = run(*policy, routed, 0);
    EXPECT_NE(aErrNone, failed.result);
    EXPECT_EQ(15u, failed.tried.size());
    EXPECT_EQ(std::vector<uint32_t>(14, 1000), failed.pauses);
  }
}

TEST(ReconnectionPolicy, LiveloaderIsLookedForOnUsbUnderThePlaceholderThenItsOwnSerial) {
  const auto both = upgrade::reconnectCandidates(LookFor::kLiveloaderOnUsb, LINKTYPE_TCPIP, 0x1234);
  ASSERT_EQ(2u, both.size());
  EXPECT_EQ(PLACEHOLDER_SERIAL, both[0].serial);
  EXPECT_EQ(0x1234u, both[1].serial);
  for (const ReconnectCandidate& c : both) {
    EXPECT_FALSE(c.sameRoute);
    EXPECT_EQ(LINKTYPE_USB, c.type);
  }
  // No serial number, or the placeholder itself: the placeholder once.
  for (uint32_t serial : {0u, PLACEHOLDER_SERIAL}) {
    const auto one = upgrade::reconnectCandidates(LookFor::kLiveloaderOnUsb, LINKTYPE_USB, serial);
    ASSERT_EQ(1u, one.size());
    EXPECT_EQ(PLACEHOLDER_SERIAL, one[0].serial);
  }

  // Found under its own serial in the third attempt: both serials tried in
  // each attempt, a second apart.
  const Attempts found = run(upgrade::kFindLiveloader, both, 6);
  EXPECT_EQ(aErrNone, found.result);
  ASSERT_EQ(6u, found.tried.size());
  for (size_t i = 0; i < found.tried.size(); ++i)
    EXPECT_EQ(both[i % 2].serial, found.tried[i].serial) << i;
  EXPECT_EQ(std::vector<uint32_t>(2, 1000), found.pauses);

  const Attempts lost = run(upgrade::kFindLiveloader, both, 0);
  EXPECT_EQ(30u, lost.tried.size());
  EXPECT_EQ(14u, lost.pauses.size());
}

TEST(ReconnectionPolicy, FirstConnectionTriesTcpipOnlyWhenUsbDoesNotKnowTheModule) {
  struct Case {
    aErr usb;
    aErr tcpip;
    std::vector<linkType> tried;
    aErr result;
  };
  const Case cases[] = {
      {aErrNone, aErrNone, {LINKTYPE_USB}, aErrNone},
      {aErrNotFound, aErrNone, {LINKTYPE_USB, LINKTYPE_TCPIP}, aErrNone},
      {aErrNotFound, aErrTimeout, {LINKTYPE_USB, LINKTYPE_TCPIP}, aErrTimeout},
      {aErrConnection, aErrNone, {LINKTYPE_USB}, aErrConnection},
  };
  for (const Case& c : cases) {
    std::vector<linkType> tried;
    const aErr result = upgrade::connectUsbThenTcpip([&](linkType type) {
      tried.push_back(type);
      return type == LINKTYPE_USB ? c.usb : c.tcpip;
    });
    EXPECT_EQ(c.result, result) << c.usb;
    EXPECT_EQ(c.tried, tried) << c.usb;
  }
}

}  // namespace
