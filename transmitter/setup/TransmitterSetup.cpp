// transmitter-setup: installs, removes and configures virtual key transmitters, the test devices
// that the driver VirtualTransmitter.sys presents to the HID class driver.
//
//   transmitter-setup add N [SERIAL]   creates root device N from VirtualTransmitter.inf (beside
//                                      this program), installs the driver on it and waits until
//                                      its HID interface is present
//   transmitter-setup remove N         removes device N, as an unplug, and waits until its HID
//                                      interface is gone
//   transmitter-setup list             lists the HID interfaces present and marks the virtual ones
//   transmitter-setup config [--log PATH] [--fail-from K] [--fail-status STATUS]
//                                      sets the driver's log, and makes writes fail from the k-th
//                                      output report after this command on (0: never)
//   transmitter-setup send N BYTE...   writes one output report to device N, as a plug-in does
//
// Exits 0 on success, 1 on failure, 2 on a usage error.

#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <hidclass.h>
#include <newdev.h>
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t HardwareId[] = L"root\\vid_6666&pid_f100";
const wchar_t ServiceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\VirtualTransmitter";
const DWORD WaitMilliseconds = 30000;

struct DeviceSetCloser {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceSet = std::unique_ptr<void, DeviceSetCloser>;

struct HandleCloser {
    void operator()(void* handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

DeviceSet MakeSet(HDEVINFO set)
{
    return DeviceSet(set == INVALID_HANDLE_VALUE ? nullptr : set);
}

Handle MakeHandle(HANDLE handle)
{
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The platform's own words for an error.
std::string Describe(DWORD error)
{
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                   sizeof text, nullptr);
    std::string message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return "error " + std::to_string(error) + (message.empty() ? "" : ": " + message);
}

int Fail(const char* what)
{
    std::printf("FAIL: %s (%s)\n", what, Describe(GetLastError()).c_str());
    return 1;
}

// ROOT\VID_6666&PID_F100\000N: the device instance of virtual transmitter N.
std::wstring InstanceId(unsigned number)
{
    wchar_t id[64];
    std::swprintf(id, 64, L"ROOT\\VID_6666&PID_F100\\%04u", number);
    return id;
}

struct Interface {
    std::wstring Path;
    std::wstring Instance;  // the device instance of the HID collection
};

std::vector<Interface> PresentHidInterfaces()
{
    std::vector<Interface> found;
    GUID hid;
    HidD_GetHidGuid(&hid);
    DeviceSet set = MakeSet(SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) {
        return found;
    }
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hid, index, &data); ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set.get(), &data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            continue;
        }
        std::vector<unsigned char> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &data, detail, size, nullptr, &device)) {
            continue;
        }
        wchar_t instance[512] = L"";
        SetupDiGetDeviceInstanceIdW(set.get(), &device, instance, 512, nullptr);
        found.push_back({detail->DevicePath, instance});
    }
    return found;
}

// The HID interface of virtual transmitter N: its collection's instance ends as the device's.
bool FindInterface(unsigned number, Interface& result)
{
    wchar_t suffix[16];
    std::swprintf(suffix, 16, L"\\%04u", number);
    for (const Interface& found : PresentHidInterfaces()) {
        const std::wstring& id = found.Instance;
        if (_wcsnicmp(id.c_str(), L"HID\\VID_6666&PID_F100", 21) == 0 && id.size() >= 5 &&
            id.compare(id.size() - 5, 5, suffix) == 0) {
            result = found;
            return true;
        }
    }
    return false;
}

bool WaitForInterface(unsigned number, bool present)
{
    Interface found;
    for (DWORD waited = 0; waited < WaitMilliseconds; waited += 100) {
        if (FindInterface(number, found) == present) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

std::wstring InfPath()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"VirtualTransmitter.inf";
}

int Add(unsigned number, const std::wstring& serial)
{
    const std::wstring instance = InstanceId(number);
    DeviceSet set = MakeSet(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_HIDCLASS, nullptr));
    if (!set) {
        return Fail("cannot make a device information set");
    }
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoW(set.get(), instance.c_str(), &GUID_DEVCLASS_HIDCLASS, L"Virtual key transmitter",
                                  nullptr, 0, &device)) {
        return Fail("cannot create the device (is it there already?)");
    }
    // A hardware ID list: the ID, then an empty string.
    std::wstring ids(HardwareId);
    ids.push_back(L'\0');
    ids.push_back(L'\0');
    if (!SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(ids.data()),
                                           static_cast<DWORD>(ids.size() * sizeof(wchar_t)))) {
        return Fail("cannot set the device's hardware ID");
    }
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device)) {
        return Fail("cannot register the device");
    }
    Key key(SetupDiCreateDevRegKeyW(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr));
    if (key.get() == INVALID_HANDLE_VALUE) {
        key.release();
        return Fail("cannot open the device's key");
    }
    if (RegSetValueExW(key.get(), L"SerialNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>(serial.c_str()),
                       static_cast<DWORD>((serial.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
        return Fail("cannot store the serial number");
    }
    key.reset();
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, HardwareId, InfPath().c_str(), INSTALLFLAG_FORCE, &reboot)) {
        return Fail("cannot install the driver from VirtualTransmitter.inf");
    }
    if (!WaitForInterface(number, true)) {
        std::printf("FAIL: virtual transmitter %u installed, but its HID interface did not appear\n", number);
        return 1;
    }
    Interface found;
    FindInterface(number, found);
    std::printf("virtual transmitter %u (serial %ls) ready: %ls\n", number, serial.c_str(), found.Path.c_str());
    return 0;
}

int Remove(unsigned number)
{
    const std::wstring instance = InstanceId(number);
    DeviceSet set = MakeSet(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set) {
        return Fail("cannot make a device information set");
    }
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiOpenDeviceInfoW(set.get(), instance.c_str(), nullptr, 0, &device)) {
        return Fail("no such virtual transmitter");
    }
    if (!SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device)) {
        return Fail("cannot remove the device");
    }
    if (!WaitForInterface(number, false)) {
        std::printf("FAIL: virtual transmitter %u removed, but its HID interface is still present\n", number);
        return 1;
    }
    std::printf("virtual transmitter %u removed\n", number);
    return 0;
}

int List()
{
    std::vector<Interface> interfaces = PresentHidInterfaces();
    std::printf("%zu HID interfaces present\n", interfaces.size());
    for (const Interface& found : interfaces) {
        Handle query = MakeHandle(CreateFileW(found.Path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof attributes;
        const bool read = query && HidD_GetAttributes(query.get(), &attributes);
        std::printf("  %ls  %ls  vendor 0x%04X product 0x%04X version 0x%04X\n", found.Instance.c_str(),
                    found.Path.c_str(), read ? attributes.VendorID : 0u, read ? attributes.ProductID : 0u,
                    read ? attributes.VersionNumber : 0u);
        if (_wcsnicmp(found.Instance.c_str(), L"HID\\VID_6666&PID_F100", 21) == 0 && query) {
            wchar_t manufacturer[128] = L"", product[128] = L"", serial[128] = L"";
            HidD_GetManufacturerString(query.get(), manufacturer, sizeof manufacturer);
            HidD_GetProductString(query.get(), product, sizeof product);
            HidD_GetSerialNumberString(query.get(), serial, sizeof serial);
            std::printf("    virtual: \"%ls\", \"%ls\", serial \"%ls\"\n", manufacturer, product, serial);
        }
    }
    return 0;
}

int Config(const std::vector<std::wstring>& args)
{
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServiceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS) {
        return Fail("cannot open the driver's service key");
    }
    Key key(raw);
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        const std::wstring& value = args[i + 1];
        LSTATUS status;
        if (args[i] == L"--log") {
            status = RegSetValueExW(key.get(), L"LogFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        } else if (args[i] == L"--fail-from" || args[i] == L"--fail-status") {
            const DWORD number = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 0));
            status = RegSetValueExW(key.get(), args[i] == L"--fail-from" ? L"FailFromWrite" : L"FailStatus", 0,
                                    REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
            if (status == ERROR_SUCCESS && args[i] == L"--fail-from") {
                // The driver counts the writes from here on.
                const DWORD none = 0;
                status = RegSetValueExW(key.get(), L"WriteCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&none),
                                        sizeof none);
            }
        } else {
            std::printf("unknown option %ls\n", args[i].c_str());
            return 2;
        }
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return Fail("cannot set a value in the driver's service key");
        }
    }
    std::printf("driver settings stored\n");
    return 0;
}

int Send(unsigned number, const std::vector<std::wstring>& bytes)
{
    Interface found;
    if (!FindInterface(number, found)) {
        std::printf("FAIL: virtual transmitter %u is not present\n", number);
        return 1;
    }
    std::vector<unsigned char> report;
    for (const std::wstring& text : bytes) {
        report.push_back(static_cast<unsigned char>(std::wcstoul(text.c_str(), nullptr, 16)));
    }
    Handle device = MakeHandle(CreateFileW(found.Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) {
        return Fail("cannot open the transmitter for writing");
    }
    DWORD written = 0;
    if (!WriteFile(device.get(), report.data(), static_cast<DWORD>(report.size()), &written, nullptr)) {
        return Fail("the write failed");
    }
    std::printf("wrote %zu bytes, the device reported %lu\n", report.size(), static_cast<unsigned long>(written));
    return 0;
}

int Usage()
{
    std::printf("usage: transmitter-setup add N [SERIAL]\n"
                "       transmitter-setup remove N\n"
                "       transmitter-setup list\n"
                "       transmitter-setup config [--log PATH] [--fail-from K] [--fail-status STATUS]\n"
                "       transmitter-setup send N BYTE...\n");
    return 2;
}

bool ParseNumber(const std::wstring& text, unsigned& number)
{
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || value > 9999) {
        return false;
    }
    number = static_cast<unsigned>(value);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    unsigned number = 0;
    if (args.size() >= 2 && args.size() <= 3 && args[0] == L"add" && ParseNumber(args[1], number)) {
        wchar_t serial[32];
        std::swprintf(serial, 32, L"KT-%04u", number);
        return Add(number, args.size() == 3 ? args[2] : serial);
    }
    if (args.size() == 2 && args[0] == L"remove" && ParseNumber(args[1], number)) {
        return Remove(number);
    }
    if (args.size() == 1 && args[0] == L"list") {
        return List();
    }
    if (!args.empty() && args[0] == L"config" && args.size() % 2 == 1) {
        return Config(std::vector<std::wstring>(args.begin() + 1, args.end()));
    }
    if (args.size() >= 3 && args[0] == L"send" && ParseNumber(args[1], number)) {
        return Send(number, std::vector<std::wstring>(args.begin() + 2, args.end()));
    }
    return Usage();
}
