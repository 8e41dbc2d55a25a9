// File transports: reading and writing real files, and pumping one into another.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "TempDir.h"
#include "aStream.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FileStream, ReadsRecordsThenEndOfFile) {
  TempDir dir;
  std::string path = dir.writeFile("in.txt", std::string("alpha\nbeta\0gamma", 16));
  aStreamRef s = reinterpret_cast<aStreamRef>(1);
  ASSERT_EQ(aErrNone, aStream_CreateFileInput(path.c_str(), &s));
  char text[32];
  ASSERT_EQ(aErrNone, aStream_ReadCStringRecord(s, text, sizeof text, "\n"));
  EXPECT_STREQ("alpha", text);
  ASSERT_EQ(aErrNone, aStream_ReadCString(s, text, sizeof text));
  EXPECT_STREQ("beta", text);
  ASSERT_EQ(aErrNone, aStream_ReadCString(s, text, sizeof text));
  EXPECT_STREQ("gamma", text);
  uint8_t byte;
  EXPECT_EQ(aErrEOF, aStream_Read(s, &byte, 1));
  EXPECT_EQ(aErrMode, aStream_Write(s, &byte, 1));  // input only
  EXPECT_EQ(aErrNone, aStream_Destroy(&s));
}

TEST(FileStream, WritesAndPumpsThroughToTheFile) {
  TempDir dir;
  std::string source = dir.writeFile("src.bin", std::string("\x01\x02\x00\xff", 4));
  std::string target = dir.file("dst.bin");
  aStreamRef in = nullptr, out = nullptr;
  ASSERT_EQ(aErrNone, aStream_CreateFileInput(source.c_str(), &in));
  ASSERT_EQ(aErrNone, aStream_CreateFileOutput(target.c_str(), &out));
  ASSERT_EQ(aErrNone, aStream_WriteCString(out, "hdr"));
  ASSERT_EQ(aErrNone, aStream_Flush(in, out));
  uint8_t byte;
  EXPECT_EQ(aErrMode, aStream_Read(out, &byte, 1));  // output only
  // Written through: visible before the stream is closed.
  EXPECT_EQ(std::string("hdr\0\x01\x02\x00\xff", 8), readAll(target));
  aStream_Destroy(&in);
  aStream_Destroy(&out);
  // Opening for output truncates.
  ASSERT_EQ(aErrNone, aStream_CreateFileOutput(target.c_str(), &out));
  aStream_Destroy(&out);
  EXPECT_EQ("", readAll(target));
}

TEST(FileStream, BadArgumentsGiveResourceErrorAndNullStream) {
  TempDir dir;
  aStreamRef s = reinterpret_cast<aStreamRef>(1);
  EXPECT_EQ(aErrResource, aStream_CreateFileInput(dir.file("missing").c_str(), &s));
  EXPECT_EQ(nullptr, s);
  EXPECT_EQ(aErrResource, aStream_CreateFileInput(nullptr, &s));
  EXPECT_EQ(aErrResource, aStream_CreateFileInput("x", nullptr));
  std::string longPath(300, 'a');
  EXPECT_EQ(aErrResource, aStream_CreateFileOutput(longPath.c_str(), &s));
  EXPECT_EQ(aErrResource, aStream_CreateFileOutput(dir.file("no/such/dir").c_str(), &s));
  EXPECT_EQ(nullptr, s);
}

}  // namespace
