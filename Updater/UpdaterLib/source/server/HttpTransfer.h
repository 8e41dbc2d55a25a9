#ifndef UPDATER_SERVER_HTTPTRANSFER_H
#define UPDATER_SERVER_HTTPTRANSFER_H
// One HTTP GET of the update server's base URL with query parameters, and the
// base64 decoder for the builds it returns.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// Query parameters, kept sorted by key (byte-wise); one value per key.
typedef std::map<std::string, std::string> ServerParams;

// What one GET brought back. The caller owns it.
struct ServerReply {
  std::string url;           // the full URL requested
  long responseCode = 0;     // 0 until the transfer completes
  std::string body;          // the reply body as received
  bool bodyTooLarge = false; // set when the body passed kServerMaxReplyBytes
};

// Bounds on one transfer. A reply larger than any BIRD file could be is
// refused; a server that does not accept the connection, or that stops
// sending, ends the transfer instead of holding the updater forever.
constexpr size_t kServerMaxReplyBytes = 64u * 1024u * 1024u;
constexpr long kServerConnectTimeoutSeconds = 10;
constexpr long kServerLowSpeedBytesPerSecond = 1;
constexpr long kServerLowSpeedSeconds = 15;

// Escapes text for a query: letters, digits and "-._~" stay, every other
// byte becomes "%XX" (upper-case hexadecimal), except a '%' that already
// starts an escape ("%20"), which stays so that an escaped value is not
// escaped twice. A value can thus never add, end or cut a parameter.
std::string escapeQueryText(const std::string& text);

// baseUrl, then "?" when there are parameters, then "key=value&" per pair in
// key order, keys and values escaped with escapeQueryText.
std::string buildServerUrl(const std::string& baseUrl, const ServerParams& params);

// Fills reply (url, response code, body). Throws std::runtime_error with
// libcurl's text when the transfer cannot complete; a status other than 200
// is not an error here.
void serverGet(ServerReply& reply, const std::string& baseUrl, const ServerParams& params);

// libcurl's receive callback: appends size*count bytes to the ServerReply
// pointed to by userdata. Returns size*count, or 0 (which ends the transfer)
// once the body would pass kServerMaxReplyBytes.
size_t rcv_data(void* data, size_t size, size_t count, void* userdata);

// Decodes standard base64 (RFC 4648, "=" padding). The text must be a whole
// number of 4-character groups of the alphabet, with padding only at the end.
// Returns a malloc'd buffer of *outLength bytes plus a terminating zero byte
// (release with free), or null for a bad length or character. An empty text
// gives an empty buffer.
unsigned char* base64Decode(const char* text, size_t length, size_t* outLength);
// The same, decoding text into its own storage: on success text holds the
// decoded bytes; on failure false, and text is left partly decoded.
bool base64DecodeInPlace(std::string& text);

#endif
