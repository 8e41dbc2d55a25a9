#ifndef KELVARION_ADISCOVERY_H
#define KELVARION_ADISCOVERY_H
/* Discovery of the modules reachable now, over USB and over TCP/IP. Each
 * module found is described by a linkSpec and handed to the caller's
 * function while the enumeration runs. */
#include "aError.h"

/* Transport of a link. The updater keeps 255 in the same field for its
 * recovery transport; discovery enumerates nothing for it, nor for any other
 * value. The type is 32 bits wide and may hold any such value. */
typedef enum linkType {
  LINKTYPE_INVALID = 0,
  LINKTYPE_USB = 1,
  LINKTYPE_TCPIP = 2,
  LINKTYPE_FORCE32 = 0x7FFFFFFF
} linkType;

/* How to reach one module: eight 32-bit fields. */
typedef struct linkSpec {
  linkType type;
  uint32_t serialNumber;
  uint32_t module;             /* address on its network (0 on USB until connected) */
  uint32_t router;             /* address of the module through which it is reached */
  uint32_t routerSerialNumber; /* serial number of that router */
  uint32_t model;
  union {
    uint32_t usbId;     /* USB: the serial number again */
    uint32_t ipAddress; /* TCP/IP: IPv4 address, network byte order */
  };
  uint32_t ipPort; /* TCP/IP: the module's TCP port */
} linkSpec;

/* Called once per module found with *found cleared; sets *found when the
 * module is one it wants and returns true to go on, false to stop. spec is
 * valid only during the call. */
typedef bool (*aDiscoveryModuleFoundProc)(const linkSpec* spec, bool* found, void* ref);

/* Vendor ID of the maker's USB modules; the product ID's low byte is the model. */
#define aDISCOVERY_USB_VENDOR 0x3A7C
/* TCP/IP discovery: request to the group's request port, answers on the
 * answer port, answers awaited until this long after the last one. */
#define aDISCOVERY_MULTICAST_GROUP "232.2.2.2"
#define aDISCOVERY_REQUEST_PORT 9888
#define aDISCOVERY_ANSWER_PORT 9889
#define aDISCOVERY_MESSAGE_SIZE 16
#define aDISCOVERY_ANSWER_TIMEOUT_MS 2000

KLV_EXTERN_C_BEGIN
/* Enumerates the modules of one transport (USB or TCPIP; any other type finds
 * nothing). Returns how many the callback marked found, at most 255. */
KLV_EXPORT uint8_t aDiscovery_EnumerateModules(linkType type, aDiscoveryModuleFoundProc callback,
                                               void* ref);
/* How many of the maker's USB modules present now this user may not open
 * (the system denies access, so their serial numbers cannot be read and
 * enumeration passes them over), at most 255. */
KLV_EXPORT uint8_t aDiscovery_CountDeniedUSBModules(void);
/* A new linkSpec of the module with serialNumber, or null. */
KLV_EXPORT linkSpec* aDiscovery_FindModule(linkType type, uint32_t serialNumber);
/* A new linkSpec of the first module with a non-zero serial number, or null. */
KLV_EXPORT linkSpec* aDiscovery_FindFirstModule(linkType type);

/* A new linkSpec with type set and every other field 0 (null when memory is short). */
KLV_EXPORT linkSpec* aLinkSpec_Create(linkType type);
/* A new linkSpec equal to spec (null when memory is short). */
KLV_EXPORT linkSpec* aLinkSpec_Copy(linkSpec spec);
/* Frees *spec and nulls it; aErrParam when it is already null. */
KLV_EXPORT aErr aLinkSpec_Destroy(linkSpec** spec);
KLV_EXTERN_C_END

#endif
