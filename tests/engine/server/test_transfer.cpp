// URL building, the receive callback's bound and base64 decoding.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "server/HttpTransfer.h"

namespace {

struct Decoded {
  std::unique_ptr<unsigned char, decltype(&free)> bytes{nullptr, &free};
  size_t length = 0;
};

Decoded decode(const std::string& text) {
  Decoded d;
  d.bytes.reset(base64Decode(text.data(), text.size(), &d.length));
  return d;
}

std::string asString(const Decoded& d) {
  return std::string(reinterpret_cast<const char*>(d.bytes.get()), d.length);
}

}  // namespace

TEST(ServerUrl, ParametersSortedByKeyEachFollowedByAmpersand) {
  EXPECT_EQ(buildServerUrl("http://h/cgi/u", {{"rv", "2"}, {"op", "hi"}}),
            "http://h/cgi/u?op=hi&rv=2&");
  EXPECT_EQ(buildServerUrl("http://h/cgi/u", {{"sn", "0000002A"},
                                              {"op", "bird"},
                                              {"no_cal", "false"},
                                              {"fw", "hub"},
                                              {"bld", "17"}}),
            "http://h/cgi/u?bld=17&fw=hub&no_cal=false&op=bird&sn=0000002A&");
  // An escape the caller wrote is not escaped again.
  EXPECT_EQ(buildServerUrl("u", {{"fp", "A%20B"}}), "u?fp=A%20B&");
}

TEST(ServerUrl, ValuesCannotAddOrCutParameters) {
  // A firmware identifier from the server goes into the next request.
  EXPECT_EQ(buildServerUrl("u", {{"fw", "birch&op=hi"}, {"op", "bird"}}),
            "u?fw=birch%26op%3Dhi&op=bird&");
  EXPECT_EQ(buildServerUrl("u", {{"fw", "birch#x"}, {"sn", "0000002A"}}),
            "u?fw=birch%23x&sn=0000002A&");
  EXPECT_EQ(escapeQueryText("a b+c?d/e\r\n\x01\xff"), "a%20b%2Bc%3Fd%2Fe%0D%0A%01%FF");
  // Well-behaved values go out unchanged.
  EXPECT_EQ(escapeQueryText("Hub-40.v2_rc~1"), "Hub-40.v2_rc~1");
  // A '%' that starts no escape is escaped; one that does stays.
  EXPECT_EQ(escapeQueryText("100%"), "100%25");
  EXPECT_EQ(escapeQueryText("%4"), "%254");
  EXPECT_EQ(escapeQueryText("%zz%2f"), "%25zz%2f");
  EXPECT_EQ(escapeQueryText(""), "");
}

TEST(ServerUrl, NoParametersLeavesBaseUnchanged) {
  EXPECT_EQ(buildServerUrl("http://h/cgi/u", {}), "http://h/cgi/u");
}

TEST(ReceiveCallback, AppendsAndRefusesBodiesPastTheBound) {
  ServerReply reply;
  char chunk[128] = "abc";
  EXPECT_EQ(rcv_data(chunk, 1, 3, &reply), 3u);
  EXPECT_EQ(rcv_data(chunk, 3, 1, &reply), 3u);
  EXPECT_EQ(reply.body, std::string("abc") + "abc");
  EXPECT_FALSE(reply.bodyTooLarge);
  // A chunk that would take the body past the bound ends the transfer and
  // leaves the body as it was.
  EXPECT_EQ(rcv_data(chunk, 1, kServerMaxReplyBytes - 5, &reply), 0u);
  EXPECT_TRUE(reply.bodyTooLarge);
  EXPECT_EQ(reply.body.size(), 6u);
}

TEST(ServerGet, UnreachableServerRaisesLibcurlText) {
  ServerReply reply;
  // Port 1 on loopback: nothing listens there, the connection is refused.
  try {
    serverGet(reply, "http://127.0.0.1:1/cgi/u", {{"op", "hi"}});
    FAIL() << "no error raised";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Couldn't connect to server");
  }
  EXPECT_EQ(reply.url, "http://127.0.0.1:1/cgi/u?op=hi&");
  EXPECT_EQ(reply.responseCode, 0);
}

TEST(Base64, PaddingGivesThreeTwoOrOneBytes) {
  EXPECT_EQ(asString(decode("TWFu")), "Man");
  EXPECT_EQ(asString(decode("TWE=")), "Ma");
  EXPECT_EQ(asString(decode("TQ==")), "M");
  EXPECT_EQ(asString(decode("SGVsbG8sIHdvcmxkIQ==")), "Hello, world!");
  Decoded d = decode("TWE=");
  EXPECT_EQ(d.bytes.get()[2], 0) << "result is zero-terminated";
}

TEST(Base64, AllByteValuesRoundTrip) {
  // "AAECAwQF...": the 256 byte values, encoded by a reference encoder.
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string raw, text;
  for (int i = 0; i < 256; ++i) raw.push_back(static_cast<char>(i));
  for (size_t i = 0; i < raw.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(raw[i]) << 16;
    if (i + 1 < raw.size()) v |= static_cast<unsigned char>(raw[i + 1]) << 8;
    if (i + 2 < raw.size()) v |= static_cast<unsigned char>(raw[i + 2]);
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += i + 1 < raw.size() ? kAlphabet[(v >> 6) & 63] : '=';
    text += i + 2 < raw.size() ? kAlphabet[v & 63] : '=';
  }
  EXPECT_EQ(asString(decode(text)), raw);
}

TEST(Base64, EmptyTextGivesEmptyBuffer) {
  Decoded d = decode("");
  ASSERT_NE(d.bytes, nullptr);
  EXPECT_EQ(d.length, 0u);
}

TEST(Base64, BadLengthOrCharacterOrPaddingIsRefused) {
  for (const char* text : {"TWF", "TWFuT", "TWFu\r", "TW u", "TW*u", "TWFu\n",
                           "T===", "====", "TW=u", "TQ==TWFu", "TWFu TWF"}) {
    size_t length = 99;
    unsigned char* out = base64Decode(text, strlen(text), &length);
    EXPECT_EQ(out, nullptr) << "text [" << text << "]";
    EXPECT_EQ(length, 0u) << "text [" << text << "]";
    free(out);
  }
}

// Decoding into the text's own storage gives what decoding into a new buffer
// gives, for every length of every padding, and refuses the same texts.
TEST(Base64, InPlaceDecodingMatchesDecodingIntoANewBuffer) {
  std::string raw;
  for (int i = 0; i < 300; ++i) raw += static_cast<char>(i * 37 + 11);
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t n = 0; n <= raw.size(); n += 7) {
    std::string text;
    for (size_t i = 0; i < n; i += 3) {
      uint32_t v = static_cast<uint8_t>(raw[i]) << 16;
      if (i + 1 < n) v |= static_cast<uint8_t>(raw[i + 1]) << 8;
      if (i + 2 < n) v |= static_cast<uint8_t>(raw[i + 2]);
      text += kAlphabet[v >> 18];
      text += kAlphabet[(v >> 12) & 63];
      text += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
      text += i + 2 < n ? kAlphabet[v & 63] : '=';
    }
    const std::string expected = asString(decode(text));
    ASSERT_EQ(raw.substr(0, n), expected);
    ASSERT_TRUE(base64DecodeInPlace(text)) << n;
    EXPECT_EQ(expected, text) << n;
  }
  for (std::string text : {"TWF", "TWFuT", "TW*u", "T===", "TW=u", "TQ==TWFu"})
    EXPECT_FALSE(base64DecodeInPlace(text)) << text;
}
