// The logger thread and its file.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "aLogger.h"

namespace {

std::atomic<int> gCalls{0};

void countingWriter(aFileRef file, aLinkRef link) {
  int call = ++gCalls;
  if (call <= 3) aFile_Printf(file, "call %d link %u\n", call, static_cast<unsigned>(link));
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string tempPath() {
  char pattern[] = "/tmp/logger_test_XXXXXX";
  int fd = mkstemp(pattern);
  if (fd >= 0) close(fd);
  return pattern;
}

TEST(Logger, RunsTheWriterWhileEnabledAndAppends) {
  const std::string path = tempPath();
  { std::ofstream(path) << "before\n"; }
  gCalls = 0;
  aLoggerRef logger = aLogger_Create(42, countingWriter, path.c_str());
  ASSERT_NE(logger, nullptr);
  EXPECT_EQ(aLogger_Disable(logger), aErrNone);  // not enabled: nothing to do
  ASSERT_EQ(aLogger_Enable(logger), aErrNone);
  EXPECT_EQ(aLogger_Enable(logger), aErrNone);
  auto start = std::chrono::steady_clock::now();
  while (gCalls < 5 && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GE(gCalls.load(), 5);
  ASSERT_EQ(aLogger_Disable(logger), aErrNone);
  const int calls = gCalls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(gCalls.load(), calls);  // the thread has ended
  ASSERT_EQ(aLogger_Destroy(&logger), aErrNone);
  EXPECT_EQ(logger, nullptr);
  EXPECT_EQ(aLogger_Destroy(&logger), aErrNone);

  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "before\ncall 1 link 42\ncall 2 link 42\ncall 3 link 42\n");
  unlink(path.c_str());
}

TEST(Logger, DestroyStopsAnEnabledLogger) {
  const std::string path = tempPath();
  aLoggerRef logger = aLogger_Create(1, countingWriter, path.c_str());
  ASSERT_NE(logger, nullptr);
  ASSERT_EQ(aLogger_Enable(logger), aErrNone);
  EXPECT_EQ(aLogger_Destroy(&logger), aErrNone);
  EXPECT_EQ(logger, nullptr);
  unlink(path.c_str());
}

TEST(Logger, BadArguments) {
  EXPECT_EQ(aLogger_Create(1, countingWriter, nullptr), nullptr);
  EXPECT_EQ(aLogger_Create(1, nullptr, "/tmp/x"), nullptr);
  EXPECT_EQ(aLogger_Create(1, countingWriter, "/nonexistent-dir/log.txt"), nullptr);
  std::string longPath = "/tmp/" + std::string(300, 'a');
  EXPECT_EQ(aLogger_Create(1, countingWriter, longPath.c_str()), nullptr);
  EXPECT_EQ(aLogger_Enable(nullptr), aErrParam);
  EXPECT_EQ(aLogger_Disable(nullptr), aErrParam);
  EXPECT_EQ(aLogger_Destroy(nullptr), aErrParam);
}

}  // namespace
