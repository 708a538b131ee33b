// Finds a present HID device interface by its USB vendor and product numbers.
#pragma once

#include "Platform.h"

#include <cstdint>

// The value of a device handle when no device is open: all bits set, as the platform's
// invalid-handle value.
const HANDLE InvalidDevice = INVALID_HANDLE_VALUE;

// Opens for writing the first present HID interface whose vendor and product numbers equal the
// arguments, or returns InvalidDevice. Releases everything else it acquired before returning.
HANDLE OpenHidDevice(std::int32_t wantedVendor, std::int32_t wantedProduct);
