// A stand-in for Windows' setupapi.dll: presents the scenario's HID interfaces to whoever
// enumerates them, checking the arguments and record sizes as Windows does.

#include "Scenario.h"

#include <cstddef>
#include <cstring>

namespace {

struct InterfaceData {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
static_assert(sizeof(InterfaceData) == 28, "32-bit interface record");

#pragma pack(push, 1)
struct DetailData {
    DWORD cbSize;
    CHAR DevicePath[1];
};
#pragma pack(pop)
static_assert(sizeof(DetailData) == 5, "32-bit detail record");

struct DeviceSet {
    std::vector<simulator::Device> Devices;
};

constexpr DWORD PresentInterfaces = 0x12;
constexpr DWORD ShortSize = 3;

int searches = 0;
int liveSets = 0;

bool IsHidClass(const GUID* guid)
{
    return guid != nullptr && std::memcmp(guid, &simulator::HidClass, sizeof(GUID)) == 0;
}

const simulator::Device* Member(HANDLE set, const InterfaceData* data)
{
    auto* devices = static_cast<DeviceSet*>(set);
    if (set == nullptr || set == INVALID_HANDLE_VALUE || data == nullptr || data->cbSize != sizeof(InterfaceData) ||
        data->Reserved == 0 || data->Reserved > devices->Devices.size()) {
        return nullptr;
    }
    return &devices->Devices[data->Reserved - 1];
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

}  // namespace

extern "C" {

HANDLE WINAPI SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator, HWND parent, DWORD flags)
{
    ++searches;
    const simulator::Scenario scenario = simulator::LoadScenario();
    if (!IsHidClass(classGuid) || enumerator != nullptr || parent != nullptr || flags != PresentInterfaces) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!scenario.Loaded || scenario.NoSet) {
        SetLastError(ERROR_INVALID_DATA);
        return INVALID_HANDLE_VALUE;
    }
    auto* set = new DeviceSet;
    for (const simulator::Device& device : scenario.Devices) {
        if (device.FromSearch <= searches) {
            set->Devices.push_back(device);
        }
    }
    ++liveSets;
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HANDLE set, void* deviceInfo, const GUID* interfaceClass, DWORD memberIndex,
                                        InterfaceData* interfaceData)
{
    if (set == nullptr || set == INVALID_HANDLE_VALUE || deviceInfo != nullptr || !IsHidClass(interfaceClass)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(InterfaceData)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (memberIndex >= static_cast<DeviceSet*>(set)->Devices.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    interfaceData->InterfaceClassGuid = simulator::HidClass;
    interfaceData->Flags = 1;
    interfaceData->Reserved = memberIndex + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HANDLE set, InterfaceData* interfaceData, DetailData* detail,
                                             DWORD detailSize, DWORD* requiredSize, void* deviceInfo)
{
    const simulator::Device* device = Member(set, interfaceData);
    if (device == nullptr || deviceInfo != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DWORD needed = static_cast<DWORD>(offsetof(DetailData, DevicePath) + device->Path.size() + 1);
    if (detail == nullptr) {
        if (detailSize != 0) {
            return Fail(ERROR_INVALID_USER_BUFFER);
        }
        if (requiredSize != nullptr && !device->SizeZero) {
            *requiredSize = device->SizeShort ? ShortSize : needed;
        }
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (detailSize < sizeof(DetailData) || detail->cbSize != sizeof(DetailData)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (device->DetailFetchFails) {
        return Fail(ERROR_GEN_FAILURE);
    }
    if (requiredSize != nullptr) {
        *requiredSize = needed;
    }
    if (detailSize < needed) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(detail->DevicePath, device->Path.c_str(), device->Path.size() + 1);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HANDLE set)
{
    if (set == nullptr || set == INVALID_HANDLE_VALUE) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    delete static_cast<DeviceSet*>(set);
    --liveSets;
    return TRUE;
}

// For the stand-in host's checks: sets still alive, and the scenario's device paths.
int __cdecl SimulatorLiveSets()
{
    return liveSets;
}

int __cdecl SimulatorDevicePath(int index, char* path, int size)
{
    const simulator::Scenario scenario = simulator::LoadScenario();
    if (index < 0 || static_cast<std::size_t>(index) >= scenario.Devices.size() || size <= 0) {
        return 0;
    }
    const std::string& text = scenario.Devices[static_cast<std::size_t>(index)].Path;
    std::strncpy(path, text.c_str(), static_cast<std::size_t>(size - 1));
    path[size - 1] = '\0';
    return 1;
}

}  // extern "C"
