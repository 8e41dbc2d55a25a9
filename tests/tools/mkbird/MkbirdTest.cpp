// The mkbird program: options to blocks, and the dump.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#define WIFEXITED(status) true
#define WEXITSTATUS(status) (status)
#else
#include <sys/wait.h>
#endif

#include "BirdFile.h"
#include "BirdWriter.h"
#include "TestFiles.h"


namespace {

// Runs mkbird with arguments; returns its exit status and its output
// (standard error included).
int mkbird(const std::string& arguments, std::string* output = nullptr) {
  std::string program = std::filesystem::path(MKBIRD_PATH).make_preferred().string();
  std::string command = "\"" + program + "\" " + arguments + " 2>&1";
#ifdef _WIN32
  command = "\"" + command + "\"";  // the command interpreter takes off the outer quotes
#endif
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, n);
  int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Mkbird, BuildsEveryBlockFromOptionsAndDumpsThem) {
  TempDir dir;
  testfiles::writeBytes(dir.file("loader.bin"), Bytes(12, 0xAB));
  testfiles::writeBytes(dir.file("firmware.bin"), Bytes(40, 0xCD));
  testfiles::writeBytes(dir.file("raw.bin"), {1, 2, 3});
  std::string out = dir.file("out.bird");
  std::string arguments = "-o " + out + " -V 0x0102 -l 0x10000000:" + dir.file("loader.bin") + ":2" +
                          " -f 0x8000:" + dir.file("firmware.bin") + " -s 0x8010:0" +
                          " -i \"Hub firmware:rel 3:abcd:KV-Hub\" -j 0x20000800" +
                          " -b 3:1:" + dir.file("raw.bin") + " -x 31:7:00ff";
  std::string text;
  ASSERT_EQ(0, mkbird(arguments, &text)) << text;

  BirdFile bird(out);
  ASSERT_EQ(7u, bird.blockCount());
  EXPECT_EQ(0x0102, bird.version());
  const std::vector<BirdBlock>& blocks = bird.blocks();
  EXPECT_EQ(0, blocks[0].type);
  EXPECT_EQ(2, blocks[0].flags);
  EXPECT_EQ(0x10000000u, blocks[0].address);
  EXPECT_EQ(12u, blocks[0].imageSize());
  EXPECT_EQ(0x8000u, blocks[1].address);
  EXPECT_EQ(40u, blocks[1].imageSize());
  EXPECT_EQ(0x8010u, bird.serialOffset());
  EXPECT_EQ(0xABCDu, bird.infoSerialNumber());
  EXPECT_TRUE(bird.matchesModel("KV-Hub"));
  EXPECT_EQ(0x20000800u, bird.jumpAddress());
  EXPECT_EQ(3u, blocks[5].length);
  EXPECT_EQ(31, blocks[6].type);
  EXPECT_EQ(7, blocks[6].flags);
  EXPECT_EQ(0xFF, blocks[6].data[1]);

  ASSERT_EQ(0, mkbird("dump " + out, &text)) << text;
  EXPECT_TRUE(has(text, "quick check passes")) << text;
  EXPECT_TRUE(has(text, "version 0x0102"));
  EXPECT_TRUE(has(text, "reports 7 blocks, 7 parsed"));
  EXPECT_TRUE(has(text, "Block 0: type 0 (loader image), flags 2, length 16, address 0x10000000, image 12 bytes"));
  EXPECT_TRUE(has(text, "Block 2: type 2 (serial offsets), flags 0, length 8, serial offset 0x00008010"));
  EXPECT_TRUE(has(text, "    model    [KV-Hub          ]"));
  EXPECT_TRUE(has(text, "    serial   [0000ABCD        ]"));
  EXPECT_TRUE(has(text, "start address 0x20000800"));
  EXPECT_TRUE(has(text, "Block 6: type 31 (no meaning), flags 7, length 2"));
  Bytes content(bird.content(), bird.content() + bird.contentLength());
  char checksum[128];
  std::snprintf(checksum, sizeof checksum, "Checksum: 0x%08X (CRC-32 of the content before it: 0x%08X)",
                bird.fileChecksum(), birdChecksum(content.data(), content.size() - 4));
  EXPECT_TRUE(has(text, checksum)) << text;
}

TEST(Mkbird, ForcedCountAndChecksumShowInTheDump) {
  TempDir dir;
  std::string out = dir.file("odd.bird");
  std::string text;
  ASSERT_EQ(0, mkbird("-o " + out + " -x 3:0: -N 5 -c 0x01020304", &text)) << text;
  ASSERT_EQ(0, mkbird("dump -v " + out, &text)) << text;
  EXPECT_TRUE(has(text, "reports 5 blocks, 1 parsed"));
  EXPECT_TRUE(has(text, "Checksum: 0x01020304"));
  EXPECT_TRUE(has(text, "BIRDFILE: Block parsing mismatch in number of blocks. (1 != 5)"));
}

TEST(Mkbird, BadArgumentsGiveTheUsage) {
  TempDir dir;
  std::string text;
  EXPECT_EQ(2, mkbird("", &text));
  EXPECT_TRUE(has(text, "Usage: mkbird -o FILE [options]"));
  EXPECT_EQ(2, mkbird("-l 0x100", &text));  // no value / no output
  EXPECT_EQ(2, mkbird("-o " + dir.file("x.bird") + " -l nothex:file", &text));
  EXPECT_TRUE(has(text, "bad value for -l"));
  EXPECT_EQ(2, mkbird("-o " + dir.file("x.bird") + " -x 32:0:00", &text));
  EXPECT_EQ(2, mkbird("-o " + dir.file("x.bird") + " -x 3:0:0", &text));
  EXPECT_EQ(2, mkbird("-o " + dir.file("x.bird") + " -q 1", &text));
  EXPECT_EQ(2, mkbird("-o " + dir.file("x.bird") + " -f 0x100:" + dir.file("missing.bin"), &text));
  EXPECT_TRUE(has(text, "cannot read"));
  EXPECT_EQ(1, mkbird("dump " + dir.file("missing.bird"), &text));
  testfiles::writeBytes(dir.file("bad.bird"), {'b', 'i', 'r', 'd', 1, 1, 0});
  EXPECT_EQ(1, mkbird("dump " + dir.file("bad.bird"), &text));
  EXPECT_TRUE(has(text, "does not load: Failed to load bird data"));
}
