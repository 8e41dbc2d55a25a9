// HTTP GET through libcurl's easy interface.
#include "HttpTransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <stdexcept>

#include "UpdaterDisplay.h"

namespace {

// libcurl's global set-up is not thread-safe; do it once, on the first
// request (always made from the main thread).
void ensureCurlInitialised() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)result;  // a failure shows up as curl_easy_init returning null
}

// Cleans up the handle and raises libcurl's text for a failed step.
void check(CURL* curl, CURLcode code) {
  if (code == CURLE_OK) return;
  curl_easy_cleanup(curl);
  throw std::runtime_error(curl_easy_strerror(code));
}

}  // namespace

namespace {

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isUnreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string escapeQueryText(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool escapeAlready =
        c == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2]);
    if (isUnreserved(c) || escapeAlready) {
      out += c;
    } else {
      const unsigned char byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

std::string buildServerUrl(const std::string& baseUrl, const ServerParams& params) {
  std::string url = baseUrl;
  if (!params.empty()) url += "?";
  for (const auto& param : params) {
    url += escapeQueryText(param.first);
    url += "=";
    url += escapeQueryText(param.second);
    url += "&";
  }
  return url;
}

size_t rcv_data(void* data, size_t size, size_t count, void* userdata) {
  ServerReply* reply = static_cast<ServerReply*>(userdata);
  const size_t bytes = size * count;
  const int shown = static_cast<int>(std::min<size_t>(bytes, 100));
  debugPrint(DEBUG_ServerComm, "rcv_data called (..., %d, %d, %08X) [%100.*s]\n",
             static_cast<int>(size), static_cast<int>(count),
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(reply)), shown,
             static_cast<const char*>(data));
  if (bytes > kServerMaxReplyBytes - reply->body.size()) {
    // Returning a count other than the one offered makes libcurl stop.
    reply->bodyTooLarge = true;
    return 0;
  }
  reply->body.append(static_cast<const char*>(data), bytes);
  debugPrint(DEBUG_ServerComm, "rcv_data returns %d\n", static_cast<int>(bytes));
  return bytes;
}

void serverGet(ServerReply& reply, const std::string& baseUrl, const ServerParams& params) {
  ensureCurlInitialised();
  CURL* curl = curl_easy_init();
  reply.url = buildServerUrl(baseUrl, params);
  reply.responseCode = 0;
  reply.body.clear();
  reply.bodyTooLarge = false;
  if (!curl) throw std::runtime_error("Could not create curl instance");

  check(curl, curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, rcv_data));
  check(curl, curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply));
  check(curl, curl_easy_setopt(curl, CURLOPT_URL, reply.url.c_str()));
  // Bounds: no wait on the server is unbounded and no body is unbounded.
  check(curl, curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
  check(curl, curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kServerConnectTimeoutSeconds));
  check(curl, curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kServerLowSpeedBytesPerSecond));
  check(curl, curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kServerLowSpeedSeconds));
  check(curl, curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                               static_cast<curl_off_t>(kServerMaxReplyBytes)));

  debugPrint(DEBUG_ServerComm, "GET(%s)\n", reply.url.c_str());
  const CURLcode result = curl_easy_perform(curl);
  if (result != CURLE_OK && reply.bodyTooLarge) {
    curl_easy_cleanup(curl);
    throw std::runtime_error("Reply body larger than " + std::to_string(kServerMaxReplyBytes) +
                             " bytes");
  }
  check(curl, result);
  check(curl, curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.responseCode));
  curl_easy_cleanup(curl);
}
