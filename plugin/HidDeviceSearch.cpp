#include "HidDeviceSearch.h"

namespace {

// The layouts of the 32-bit platform, on which the size fields below must carry these values.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record is 28 bytes");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "detail record's fixed part is 5 bytes");
static_assert(sizeof(HIDD_ATTRIBUTES) == 12, "attribute record is 12 bytes");

constexpr DWORD PresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD SharedReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD QueryAccess = 0;
constexpr DWORD WriteAccess = GENERIC_WRITE;

// The set of present HID interfaces, destroyed when the search ends.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(const GUID& hidClass)
        : set_(SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, PresentInterfaces))
    {
    }
    ~DeviceInfoSet()
    {
        if (Valid()) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    bool Valid() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return set_; }

private:
    HDEVINFO set_;
};

// One interface's detail record, holding its device path; freed before the next is examined.
class DetailRecord {
public:
    DetailRecord(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData)
    {
        DWORD requiredSize = 0;
        // The size query fails by design; only the size it reports matters.
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &requiredSize, nullptr);
        // A record too small for its own fixed part cannot be filled in without overrunning it.
        if (requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            return;
        }
        record_ = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(HeapAlloc(GetProcessHeap(), 0, requiredSize));
        if (record_ == nullptr) {
            return;
        }
        record_->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        fetched_ = SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, record_, requiredSize, nullptr, nullptr) != FALSE;
    }
    ~DetailRecord()
    {
        if (record_ != nullptr) {
            HeapFree(GetProcessHeap(), 0, record_);
        }
    }
    DetailRecord(const DetailRecord&) = delete;
    DetailRecord& operator=(const DetailRecord&) = delete;

    // The device path, or null when the detail could not be had.
    const char* DevicePath() const { return fetched_ ? record_->DevicePath : nullptr; }

private:
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A record_ = nullptr;
    bool fetched_ = false;
};

// A handle opened with no access rights, good only for reading the device's attributes.
class QueryHandle {
public:
    explicit QueryHandle(const char* devicePath)
        : handle_(CreateFileA(devicePath, QueryAccess, SharedReadWrite, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~QueryHandle()
    {
        if (Valid()) {
            CloseHandle(handle_);
        }
    }
    QueryHandle(const QueryHandle&) = delete;
    QueryHandle& operator=(const QueryHandle&) = delete;

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// Reads the device's numbers through a query open. On a match, opens the device again for
// writing into `result`, while the query handle is still held, and returns true: the first
// match ends the search, whether or not the write open succeeded.
bool OpenIfMatching(const char* devicePath, std::int32_t wantedVendor, std::int32_t wantedProduct, HANDLE& result)
{
    const QueryHandle query(devicePath);
    if (!query.Valid()) {
        return false;
    }
    HIDD_ATTRIBUTES attributes;
    attributes.Size = sizeof(HIDD_ATTRIBUTES);
    if (HidD_GetAttributes(query.Get(), &attributes) == FALSE) {
        return false;
    }
    if (static_cast<std::int32_t>(attributes.VendorID) != wantedVendor ||
        static_cast<std::int32_t>(attributes.ProductID) != wantedProduct) {
        return false;
    }
    result = CreateFileA(devicePath, WriteAccess, SharedReadWrite, nullptr, OPEN_EXISTING, 0, nullptr);
    return true;
}

}  // namespace

HANDLE OpenHidDevice(std::int32_t wantedVendor, std::int32_t wantedProduct)
{
    HANDLE result = InvalidDevice;
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const DeviceInfoSet set(hidClass);
    if (!set.Valid()) {
        return result;
    }
    SP_DEVICE_INTERFACE_DATA interfaceData;
    for (DWORD index = 0;; ++index) {
        interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &hidClass, index, &interfaceData) == FALSE) {
            break;
        }
        const DetailRecord detail(set.Get(), interfaceData);
        if (detail.DevicePath() != nullptr &&
            OpenIfMatching(detail.DevicePath(), wantedVendor, wantedProduct, result)) {
            break;
        }
    }
    return result;
}
