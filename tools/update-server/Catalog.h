#ifndef UPDATE_SERVER_CATALOG_H
#define UPDATE_SERVER_CATALOG_H
// The reference update server's catalog of devices: for each serial number
// its firmware identifier, current build, offered builds with descriptions
// and the processor fingerprints that identify it for recovery.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

typedef std::array<uint32_t, 4> Fingerprint;

struct CatalogDevice {
  uint32_t serial = 0;
  std::string firmware;
  uint32_t current = 0;
  std::vector<std::pair<uint32_t, std::string>> builds;  // in catalog order
  std::vector<Fingerprint> fingerprints;
};

struct Catalog {
  std::map<uint32_t, CatalogDevice> devices;

  const CatalogDevice* find(uint32_t serial) const;
  const CatalogDevice* findByFingerprint(const Fingerprint& fingerprint) const;
};

// Parses the catalog text (format in the README). On a bad line returns false
// with *error naming the line number and the problem.
bool parseCatalog(const std::string& text, Catalog* catalog, std::string* error);

// Strict readers shared with the request parser.
bool parseHex32(const std::string& text, uint32_t* value);      // 1-8 hex digits
bool parseDecimal32(const std::string& text, uint32_t* value);  // 1-10 digits, fits 32 bits
bool isSafeName(const std::string& text);  // [A-Za-z0-9._-]+, not "." or ".."

#endif
