// The Windows services the plug-in calls: kernel file and heap services, the device-setup
// library and the HID library. The build's include path decides whose declarations these are.
#pragma once

#include <windows.h>
#include <setupapi.h>

// The HID library's header declares C functions without a C++ guard of its own.
extern "C" {
#include <hidsdi.h>
}
