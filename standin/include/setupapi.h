// Stand-in declarations of the Windows device-setup services that the plug-in calls, with the
// records laid out as on 32-bit Windows.
#pragma once

#include <windows.h>

typedef PVOID HDEVINFO;

#define DIGCF_PRESENT 0x00000002u
#define DIGCF_DEVICEINTERFACE 0x00000010u

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    std::uint32_t Reserved;  // pointer-sized on Windows: 32 bits in the 32-bit layout
};
typedef SP_DEVICE_INTERFACE_DATA* PSP_DEVICE_INTERFACE_DATA;

#pragma pack(push, 1)
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[1];  // the path runs on past the end of the declared record
};
#pragma pack(pop)
typedef SP_DEVICE_INTERFACE_DETAIL_DATA_A* PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

struct SP_DEVINFO_DATA;
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;

extern "C" {
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent, DWORD flags);
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClass,
                                        DWORD memberIndex, PSP_DEVICE_INTERFACE_DATA interfaceData);
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
}
