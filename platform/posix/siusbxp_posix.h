#pragma once
// The calls of our USBXpress layer that find devices, with the device roots
// as a parameter so tests can use a fake sysfs tree. SI_GetNumDevices,
// SI_GetProductString and SI_Open use the system's roots.

#include "platform/posix/usb_serial_lookup.h"
#include "platform/siusbxp.h"

// The attached CP210x interfaces, numbered in the natural order of their
// tty names: the same numbers for as long as the same devices are attached.
SI_STATUS siGetNumDevices(const DeviceRoots& roots, LPDWORD numDevices);
SI_STATUS siGetProductString(const DeviceRoots& roots, DWORD deviceNum, char* productString,
                             DWORD options);
// Opens the device exclusively: one that another process holds is not found.
SI_STATUS siOpen(const DeviceRoots& roots, DWORD deviceNum, HANDLE* handle);
