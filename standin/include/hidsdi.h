// Stand-in declarations of the Windows HID services that the plug-in calls.
#pragma once

#include <windows.h>

struct HIDD_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
typedef HIDD_ATTRIBUTES* PHIDD_ATTRIBUTES;

extern "C" {
void WINAPI HidD_GetHidGuid(LPGUID hidGuid);
BOOLEAN WINAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes);
}
