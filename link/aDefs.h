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

/* What the library exports. On Windows the library's own sources export
 * (KLV_BUILDING_LIBRARY) and a program that uses the DLL imports; programs
 * built inside this project may link the library statically and define
 * KLV_NO_IMPORT, leaving calls into the DLL to the linker's automatic import. */
#if defined(_WIN32)
#if defined(KLV_BUILDING_LIBRARY)
#define KLV_EXPORT __declspec(dllexport)
#elif defined(KLV_NO_IMPORT)
#define KLV_EXPORT
#else
#define KLV_EXPORT __declspec(dllimport)
#endif
#else
#define KLV_EXPORT __attribute__((visibility("default")))
#endif

/* printf-style format checking; MinGW's C99 printf is checked as gnu_printf. */
#if defined(__MINGW32__)
#define KLV_PRINTF(formatIndex, firstArg) __attribute__((format(gnu_printf, formatIndex, firstArg)))
#else
#define KLV_PRINTF(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))
#endif

/* Size of every path buffer the library declares. */
#define aPATH_MAX 260

KLV_EXTERN_C_BEGIN
/* Display name of a module model number ("Unknown" for numbers not in the table). */
KLV_EXPORT const char* aDefs_GetModelName(int model);
KLV_EXTERN_C_END

#endif
