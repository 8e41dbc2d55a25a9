#ifndef UPDATE_SERVER_REQUESTS_H
#define UPDATE_SERVER_REQUESTS_H
// The five requests of the update protocol, answered from the catalog. Free
// of I/O: BIRD files come in through the reader the caller passes.
#include <functional>
#include <map>
#include <string>

#include "Catalog.h"

struct Answer {
  int status = 200;  // 400 for a malformed request
  std::string body;  // "ok" and the answer lines, or one line that is not "ok"
};

// Fills *bytes with the BIRD file of build for firmware; false when none.
typedef std::function<bool(const std::string& firmware, uint32_t build, std::string* bytes)>
    BirdReader;

// params: the decoded query parameters (op, sn, fw, bld, no_cal, fp, rv, brief).
Answer answerRequest(const Catalog& catalog, const std::map<std::string, std::string>& params,
                     const BirdReader& readBird);

std::string base64Encode(const std::string& bytes);

#endif
