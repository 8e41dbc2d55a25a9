// Answers of the reference update server. Every line ends in a line feed;
// a refusal is one line beginning "error:" (never "ok").
#include "Requests.h"

#include <cstdio>
#include <sstream>

namespace {

typedef std::map<std::string, std::string> Params;

Answer badRequest(const std::string& why) { return {400, "error: bad request: " + why + "\n"}; }
Answer refusal(const std::string& why) { return {200, "error: " + why + "\n"}; }

std::string hex8(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%08X", value);
  return text;
}

const std::string* param(const Params& params, const char* key) {
  const auto it = params.find(key);
  return it == params.end() ? nullptr : &it->second;
}

// Reads the sn parameter; false when it is missing or not 1-8 hex digits.
bool readSerial(const Params& params, uint32_t* serial) {
  const std::string* sn = param(params, "sn");
  return sn && parseHex32(*sn, serial);
}

Answer queryBuild(const Catalog& catalog, const Params& params) {
  uint32_t serial = 0;
  if (!readSerial(params, &serial)) return badRequest("sn must be a hexadecimal serial number");
  const CatalogDevice* device = catalog.find(serial);
  if (!device) return refusal("unknown device " + hex8(serial));
  return {200, "ok\n" + std::to_string(device->current) + "\n" + device->firmware + "\n"};
}

Answer buildList(const Catalog& catalog, const Params& params) {
  uint32_t serial = 0;
  if (!readSerial(params, &serial)) return badRequest("sn must be a hexadecimal serial number");
  const CatalogDevice* device = catalog.find(serial);
  if (!device) return refusal("unknown device " + hex8(serial));
  std::string body = "ok\n";
  for (const auto& build : device->builds) {
    body += std::to_string(build.first) + ";" + build.second + "\n";
  }
  return {200, body};
}

Answer bird(const Catalog& catalog, const Params& params, const BirdReader& readBird) {
  uint32_t serial = 0, build = 0;
  if (!readSerial(params, &serial)) return badRequest("sn must be a hexadecimal serial number");
  const std::string* fw = param(params, "fw");
  if (!fw || !isSafeName(*fw)) return badRequest("fw must be a firmware identifier");
  const std::string* bld = param(params, "bld");
  if (!bld || !parseDecimal32(*bld, &build)) return badRequest("bld must be a build number");
  const std::string* noCal = param(params, "no_cal");
  if (noCal && *noCal != "true" && *noCal != "false") {
    return badRequest("no_cal must be true or false");
  }
  const CatalogDevice* device = catalog.find(serial);
  if (!device) return refusal("unknown device " + hex8(serial));
  if (*fw != device->firmware) {
    return refusal("firmware " + *fw + " does not belong to device " + hex8(serial));
  }
  std::string bytes;
  if (!readBird(device->firmware, build, &bytes)) {
    return refusal("no build " + std::to_string(build) + " of firmware " + device->firmware);
  }
  return {200, "ok\n" + base64Encode(bytes) + "\n"};
}

Answer recoveryInfo(const Catalog& catalog, const Params& params) {
  const std::string* fp = param(params, "fp");
  if (!fp) return badRequest("fp is missing");
  std::istringstream words(*fp);
  Fingerprint fingerprint{};
  std::string word, extra;
  for (uint32_t& value : fingerprint) {
    if (!(words >> word) || !parseHex32(word, &value)) {
      return badRequest("fp must be four hexadecimal words");
    }
  }
  if (words >> extra) return badRequest("fp must be four hexadecimal words");
  const CatalogDevice* device = catalog.findByFingerprint(fingerprint);
  if (!device) return refusal("unknown fingerprint");
  return {200, "ok\n" + hex8(device->serial) + "\n" + std::to_string(device->current) + "\n"};
}

}  // namespace

Answer answerRequest(const Catalog& catalog, const Params& params, const BirdReader& readBird) {
  const std::string* op = param(params, "op");
  if (!op) return badRequest("op is missing");
  if (*op == "hi") return {200, "ok\n"};
  if (*op == "qu") return queryBuild(catalog, params);
  if (*op == "builds") return buildList(catalog, params);
  if (*op == "bird") return bird(catalog, params, readBird);
  if (*op == "fix") return recoveryInfo(catalog, params);
  return badRequest("unknown op '" + *op + "'");
}

std::string base64Encode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text((bytes.size() + 2) / 3 * 4, '=');
  const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes.data());
  char* out = &text[0];
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3, out += 4) {
    const uint32_t v = static_cast<uint32_t>(in[i]) << 16 | static_cast<uint32_t>(in[i + 1]) << 8 | in[i + 2];
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = kAlphabet[(v >> 6) & 63];
    out[3] = kAlphabet[v & 63];
  }
  const size_t left = bytes.size() - i;  // 0, 1 or 2 bytes; padding already in place
  if (left > 0) {
    uint32_t v = static_cast<uint32_t>(in[i]) << 16;
    if (left > 1) v |= static_cast<uint32_t>(in[i + 1]) << 8;
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    if (left > 1) out[2] = kAlphabet[(v >> 6) & 63];
  }
  return text;
}
