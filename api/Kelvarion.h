#ifndef KELVARION_API_KELVARION_H
#define KELVARION_API_KELVARION_H
// The object interface of the device-link library: Link, Module and every
// entity class, in namespace Mirovane::Kelvarion.
#include "EntityClass.h"
#include "IOEntities.h"
#include "Link.h"
#include "Module.h"
#include "SystemEntities.h"
#include "USBEntities.h"

#endif
