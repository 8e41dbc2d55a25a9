#ifndef KELVARION_ADEFS_H
#define KELVARION_ADEFS_H
/* Common definitions of the device-link library: export and C linkage macros. */
#include <stdint.h>
#include <stddef.h>
#include <stdbool.h>

#ifdef __cplusplus
#define KLV_EXTERN_C_BEGIN extern "C" {
#define KLV_EXTERN_C_END }
#else
#define KLV_EXTERN_C_BEGIN
#define KLV_EXTERN_C_END
#endif

#define KLV_EXPORT __attribute__((visibility("default")))

/* Size of every path buffer the library declares. */
#define aPATH_MAX 260

KLV_EXTERN_C_BEGIN
/* Display name of a module model number ("Unknown" for numbers not in the table). */
KLV_EXPORT const char* aDefs_GetModelName(int model);
KLV_EXTERN_C_END

#endif
