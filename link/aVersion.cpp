// Library version and the packed version word.
#include "aVersion.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The numbers come from the build (KELVARION_VERSION in the top CMakeLists.txt).
const uint8_t kMajor = KLV_VERSION_MAJOR;
const uint8_t kMinor = KLV_VERSION_MINOR;
const uint32_t kPatch = KLV_VERSION_PATCH;

const char kFeatureName[] = "VERSION";
const char kFeatureDescription[] = "Version Query API";

}  // namespace

uint8_t aVersion_ParseMajor(uint32_t packed) { return static_cast<uint8_t>(packed >> 28); }

uint8_t aVersion_ParseMinor(uint32_t packed) { return static_cast<uint8_t>((packed >> 24) & 0x0F); }

uint32_t aVersion_ParsePatch(uint32_t packed) { return packed & 0x00FFFFFF; }

int aVersion_ParseString(uint32_t packed, char* buffer, size_t size) {
  if (!buffer || size == 0) return -1;
  int n = snprintf(buffer, size, "%d.%d.%d", aVersion_ParseMajor(packed), aVersion_ParseMinor(packed),
                   static_cast<int>(aVersion_ParsePatch(packed)));
  if (n < 0 || static_cast<size_t>(n) >= size) return -1;
  return n;
}

uint8_t aVersion_GetMajor(void) { return kMajor; }
uint8_t aVersion_GetMinor(void) { return kMinor; }
uint32_t aVersion_GetPatch(void) { return kPatch; }

const char* aVersion_GetString(void) {
  // Built once; the static initialisation is safe against concurrent first calls.
  static const struct VersionText {
    char text[15];
    VersionText() { snprintf(text, sizeof text, "%d.%d%s%d", kMajor, kMinor, ".", static_cast<int>(kPatch)); }
  } version;
  return version.text;
}

bool aVersion_IsAtLeastCompare(uint8_t major, uint8_t minor, uint32_t patch, uint8_t major2,
                               uint8_t minor2, uint32_t patch2) {
  if (major != major2) return major > major2;
  if (minor != minor2) return minor > minor2;
  return patch >= patch2;
}

bool aVersion_IsAtLeast(uint8_t major, uint8_t minor, uint32_t patch) {
  return aVersion_IsAtLeastCompare(kMajor, kMinor, kPatch, major, minor, patch);
}

bool aVersion_HasFeature(const char* name) { return name && strcmp(name, kFeatureName) == 0; }

char* aVersion_GetFeatureList(void) {
  size_t length = strlen(kFeatureName) + 3 + strlen(kFeatureDescription) + 1;
  char* list = static_cast<char*>(malloc(length));
  if (list) snprintf(list, length, "%s - %s", kFeatureName, kFeatureDescription);
  return list;
}

aErr aVersion_DestroyFeatureList(char** list) {
  if (!list) return aErrParam;
  free(*list);
  *list = nullptr;
  return aErrNone;
}
