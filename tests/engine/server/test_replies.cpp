// The grammar of the update server's replies, request by request.
#include <gtest/gtest.h>

#include "server/ServerComm.h"

TEST(ServerReplyGrammar, FirstLineMustBeginWithOk) {
  EXPECT_TRUE(parseServerReply("ok\n").ok);
  EXPECT_TRUE(parseServerReply("ok").ok);
  EXPECT_TRUE(parseServerReply("okay, here it is\r\n").ok);
  EXPECT_FALSE(parseServerReply("").ok) << "an empty body carries no ok";
  EXPECT_FALSE(parseServerReply("o").ok);
  EXPECT_FALSE(parseServerReply(" ok\n").ok);
  EXPECT_FALSE(parseServerReply("OK\n").ok);
  EXPECT_FALSE(parseServerReply("\nok\n").ok);
  ParsedServerReply r = parseServerReply("error: unknown device\nok\n");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.firstLine, "error: unknown device");
}

TEST(ServerReplyGrammar, LinesSplitAtLineFeedsOnly) {
  ParsedServerReply r = parseServerReply("ok\r\na\r\n\nb");
  ASSERT_EQ(r.lines.size(), 3u);
  EXPECT_EQ(r.firstLine, "ok\r");
  EXPECT_EQ(r.lines[0], "a\r");
  EXPECT_EQ(r.lines[1], "");
  EXPECT_EQ(r.lines[2], "b");
  EXPECT_TRUE(parseServerReply("ok\n").lines.empty());
}

TEST(QueryBuildReply, BuildKeepsCarriageReturnIdentifierDoesNot) {
  std::string build = "old", firmware = "old";
  parseQueryBuildReply(parseServerReply("ok\r\n17\r\nhub-fw\r\n"), &build, &firmware);
  EXPECT_EQ(build, "17\r");
  EXPECT_EQ(firmware, "hub-fw");
}

TEST(QueryBuildReply, MissingLinesLeaveOutputsUntouched) {
  std::string build = "old", firmware = "old";
  parseQueryBuildReply(parseServerReply("ok\n"), &build, &firmware);
  EXPECT_EQ(build, "old");
  EXPECT_EQ(firmware, "old");
  parseQueryBuildReply(parseServerReply("ok\n21\n"), &build, &firmware);
  EXPECT_EQ(build, "21");
  EXPECT_EQ(firmware, "old");
  parseQueryBuildReply(parseServerReply("ok\n22\nfw"), nullptr, &firmware);
  EXPECT_EQ(firmware, "fw");
}

TEST(BuildListReply, EntriesDescriptionsAndShortLines) {
  // A line is too short below 3 characters counting its line feed: "9\r\n"
  // is an entry, the two-character line "\r\n" is not.
  std::map<std::string, std::string> builds;
  parseBuildListReply(parseServerReply("ok\r\n12;Release 1.2\r\n9\r\n\r\n"), &builds);
  ASSERT_EQ(builds.size(), 2u);
  EXPECT_EQ(builds["12"], "Release 1.2");
  EXPECT_EQ(builds["9"], "");
  // Byte-wise order of the build texts: "12" before "9".
  EXPECT_EQ(builds.begin()->first, "12");

  builds.clear();
  parseBuildListReply(parseServerReply("ok\n7\n8;\n42\nxy"), &builds);
  ASSERT_EQ(builds.size(), 2u);
  EXPECT_EQ(builds.count("8"), 1u);
  EXPECT_EQ(builds.count("42"), 1u);
}

TEST(BuildListReply, CarriageReturnsSemicolonsAndDuplicates) {
  std::map<std::string, std::string> builds;
  parseBuildListReply(
      parseServerReply("ok\r\n10;1.10\r\n10;again\r\n7;1.7;extra\r\n8\r\n;orphan\r\n"), &builds);
  ASSERT_EQ(builds.size(), 3u);
  EXPECT_EQ(builds["10"], "1.10") << "first description kept";
  EXPECT_EQ(builds["7"], "1.7");
  EXPECT_EQ(builds["8"], "");
}

TEST(BuildReply, OkAloneGivesEmptyTextSecondLineKeptAsIs) {
  std::string out = "stale";
  parseBuildReply(parseServerReply("ok\n"), &out);
  EXPECT_EQ(out, "");
  parseBuildReply(parseServerReply("ok\r\nTWFu\r\n"), &out);
  EXPECT_EQ(out, "TWFu\r");
  parseBuildReply(parseServerReply("ok\nTWFu\nignored\n"), &out);
  EXPECT_EQ(out, "TWFu");
}

TEST(RecoveryInfoReply, SerialHexBuildWithPrefixRules) {
  uint32_t serial = 1, build = 1;
  parseRecoveryInfoReply(parseServerReply("ok\n40f5849a\n0x11\n"), &serial, &build);
  EXPECT_EQ(serial, 0x40F5849Au);
  EXPECT_EQ(build, 17u);
  parseRecoveryInfoReply(parseServerReply("ok\nA\n017\n"), &serial, &build);
  EXPECT_EQ(serial, 0xAu);
  EXPECT_EQ(build, 15u) << "leading 0 reads octal";
  parseRecoveryInfoReply(parseServerReply("ok\nB\n"), &serial, &build);
  EXPECT_EQ(serial, 0xBu);
  EXPECT_EQ(build, 15u) << "missing line leaves the output";
}

TEST(RecoveryInfoRequest, FingerprintWordsJoinedByEscapedBlank) {
  const uint32_t fp[4] = {0x1, 0xDEADBEEF, 0x00A0B0C0, 0xFFFFFFFF};
  EXPECT_EQ(formatFingerprint(fp), "00000001%20DEADBEEF%2000A0B0C0%20FFFFFFFF");
}
