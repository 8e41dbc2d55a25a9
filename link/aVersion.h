#ifndef KELVARION_AVERSION_H
#define KELVARION_AVERSION_H
/* Library version and the packed version word: major in bits 31-28, minor in
 * bits 27-24, patch in bits 23-0. */
#include "aError.h"

KLV_EXTERN_C_BEGIN
KLV_EXPORT uint8_t aVersion_ParseMajor(uint32_t packed);
KLV_EXPORT uint8_t aVersion_ParseMinor(uint32_t packed);
KLV_EXPORT uint32_t aVersion_ParsePatch(uint32_t packed);
/* "%d.%d.%d"; returns the characters written, -1 on failure. */
KLV_EXPORT int aVersion_ParseString(uint32_t packed, char* buffer, size_t size);
KLV_EXPORT uint8_t aVersion_GetMajor(void);
KLV_EXPORT uint8_t aVersion_GetMinor(void);
KLV_EXPORT uint32_t aVersion_GetPatch(void);
KLV_EXPORT const char* aVersion_GetString(void);
KLV_EXPORT bool aVersion_IsAtLeast(uint8_t major, uint8_t minor, uint32_t patch);
KLV_EXPORT bool aVersion_IsAtLeastCompare(uint8_t major, uint8_t minor, uint32_t patch,
                                          uint8_t major2, uint8_t minor2, uint32_t patch2);
KLV_EXPORT bool aVersion_HasFeature(const char* name);
KLV_EXPORT char* aVersion_GetFeatureList(void);
KLV_EXPORT aErr aVersion_DestroyFeatureList(char** list);
KLV_EXTERN_C_END

#endif
