// The simulated boot loader's rules, fed byte by byte without a terminal.
#include <gtest/gtest.h>

#include <string>

#include "IspLoaderModel.h"
#include "IspUu.h"

namespace {

class Recorder : public IspLoaderModel::Output {
 public:
  void send(const std::string& bytes) override { out += bytes; }
  void pause(uint32_t milliseconds) override { paused += milliseconds; }
  void flashChanged() override { ++copies; }
  std::string take() {
    std::string s;
    s.swap(out);
    return s;
  }
  std::string out;
  uint32_t paused = 0;
  int copies = 0;
};

class LoaderModel : public ::testing::Test {
 protected:
  explicit LoaderModel(IspSimOptions options = IspSimOptions()) : model(options, &out) {}
  std::string feed(const std::string& text) {
    for (char c : text)
      model.receive(static_cast<uint8_t>(c));
    return out.take();
  }
  // Synchronised, echo off, unlocked.
  void ready() {
    feed("?");
    feed("Synchronized\r\n");
    feed("14746\r\n");
    feed("A 0\r\n");
    ASSERT_EQ("0\r\n", feed("U 23130\r\n"));
  }
  Recorder out;
  IspLoaderModel model;
};

}  // namespace

TEST_F(LoaderModel, SyncEchoesAndSwitchesEcho) {
  EXPECT_EQ("", feed("xx"));
  EXPECT_EQ("Synchronized\r\n", feed("?"));
  EXPECT_EQ("Synchronized\r\nOK\r\n", feed("Synchronized\r\n"));
  EXPECT_EQ("14746\r\nOK\r\n", feed("14746\r\n"));
  EXPECT_TRUE(model.synchronised());
  EXPECT_EQ("A 0\r\n0\r\n", feed("A 0\r\n"));
  EXPECT_EQ("0\r\n", feed("A 1\r\n"));
  EXPECT_EQ("N\r\n0\r\n305419896\r\n2596069104\r\n253635900\r\n1264216440\r\n", feed("N\r\n"));
  EXPECT_EQ("Z\r\n1\r\n", feed("Z\r\n"));
}

TEST_F(LoaderModel, FlashRulesOfThePart) {
  feed("?");
  feed("Synchronized\r\n");
  feed("14746\r\n");
  feed("A 0\r\n");
  EXPECT_EQ("15\r\n", feed("E 0 0\r\n"));  // locked
  EXPECT_EQ("16\r\n", feed("U 1\r\n"));
  EXPECT_EQ("0\r\n", feed("U 23130\r\n"));
  EXPECT_EQ("9\r\n", feed("E 0 0\r\n"));  // not prepared
  EXPECT_EQ("7\r\n", feed("P 2 1\r\n"));
  EXPECT_EQ("7\r\n", feed("P 0 30\r\n"));
  EXPECT_EQ("0\r\n", feed("P 0 29\r\n"));
  EXPECT_EQ("0\r\n", feed("E 0 29\r\n"));
  EXPECT_EQ("9\r\n", feed("C 0 268439552 256\r\n"));  // erase re-protected the sectors

  // 8 bytes into RAM, then copied.
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ("0\r\n", feed("W 268439552 8\r\n"));
  EXPECT_EQ("OK\r\n", feed(uuEncodeLine(data, 8) + "\r\n36\r\n"));
  EXPECT_EQ("0\r\n", feed("P 0 0\r\n"));
  EXPECT_EQ("3\r\n", feed("C 128 268439552 256\r\n"));
  EXPECT_EQ("6\r\n", feed("C 0 268439552 300\r\n"));
  EXPECT_EQ("0\r\n", feed("C 0 268439552 256\r\n"));
  EXPECT_EQ(1, out.copies);
  EXPECT_EQ(8, model.flash()[7]);
  EXPECT_EQ(0, model.flash()[8]);  // the rest of the RAM page
  EXPECT_EQ("0\r\n", feed("P 0 0\r\n"));
  EXPECT_EQ("8\r\n", feed("C 0 268439552 256\r\n"));  // not blank
  EXPECT_EQ("0\r\n", feed("M 0 268439552 256\r\n"));
  EXPECT_EQ("10\r\n256\r\n", feed("M 0 268439552 260\r\n"));
  EXPECT_EQ("0\r\n", feed("G 0 T\r\n"));
  EXPECT_TRUE(model.started());
  EXPECT_EQ("", feed("N\r\n"));
}

TEST_F(LoaderModel, BadChecksumOrDamagedLineAsksForResend) {
  ready();
  const uint8_t data[4] = {9, 9, 9, 9};
  EXPECT_EQ("0\r\n", feed("W 268439552 4\r\n"));
  EXPECT_EQ("RESEND\r\n", feed(uuEncodeLine(data, 4) + "\r\n35\r\n"));
  EXPECT_EQ("RESEND\r\n", feed("$~~~\r\n36\r\n"));
  EXPECT_EQ("OK\r\n", feed(uuEncodeLine(data, 4) + "\r\n36\r\n"));
  EXPECT_EQ(9, model.ram()[0x1000]);
  EXPECT_EQ("13\r\n", feed("W 268439553 4\r\n"));
  EXPECT_EQ("6\r\n", feed("W 268439552 6\r\n"));
  EXPECT_EQ("14\r\n", feed("W 0 4\r\n"));
}

TEST_F(LoaderModel, ReadsBackInUuLinesWithChecksums) {
  ready();
  std::string reply = feed("R 0 48\r\n");
  std::vector<uint8_t> ones(45, 0xFF);
  std::vector<uint8_t> three(3, 0xFF);
  EXPECT_EQ("0\r\n" + uuEncodeLine(ones.data(), 45) + "\r\n" + uuEncodeLine(three.data(), 3) + "\r\n12240\r\n", reply);
  std::vector<uint8_t> decoded;
  EXPECT_TRUE(uuDecodeLine(uuEncodeLine(ones.data(), 45), &decoded));
  EXPECT_EQ(ones, decoded);
  EXPECT_EQ("0\r\n", feed("OK\r\nA 0\r\n"));
}

namespace {
IspSimOptions faulty() {
  IspSimOptions options;
  options.refusals = 1;
  options.statusFor['P'] = 10;
  options.wrongEcho = true;
  return options;
}
class FaultyLoaderModel : public LoaderModel {
 protected:
  FaultyLoaderModel() : LoaderModel(faulty()) {}
};
}  // namespace

TEST_F(FaultyLoaderModel, FaultSwitches) {
  feed("?");
  feed("Synchronized\r\n");
  feed("14746\r\n");
  EXPECT_EQ("u 23130\r\n1\r\n", feed("U 23130\r\n"));  // wrong echo, refused once
  EXPECT_EQ("u 23130\r\n0\r\n", feed("U 23130\r\n"));
  EXPECT_EQ("p 0 0\r\n10\r\n", feed("P 0 0\r\n"));
}

TEST_F(LoaderModel, BlockOfEmptyLinesIsChecksummedAsNothing) {
  ready();
  EXPECT_EQ("0\r\n", feed("W 268439552 8\r\n"));
  // Twenty lines that carry no byte make a block of nothing: its sum is 0,
  // and the write still waits for its eight bytes.
  for (int i = 0; i < 20; ++i) EXPECT_EQ("", feed("`\r\n"));
  EXPECT_EQ("OK\r\n", feed("0\r\n"));
  const uint8_t ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_EQ("", feed(uuEncodeLine(ones, sizeof ones) + "\r\n"));
  EXPECT_EQ("OK\r\n", feed("8\r\n"));
}
