#include "PlatformModel.h"

#include <hidsdi.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace standin {
namespace {

constexpr GUID HidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr DWORD InterfaceDataSize = 28;
constexpr DWORD DetailFixedSize = 5;
constexpr DWORD DetailPathOffset = 4;
constexpr ULONG AttributesSize = 12;

enum class HandleKind { Query, Write };

struct OpenHandle {
    HandleKind Kind;
    std::size_t Interface;
};

struct Machine {
    Scenario Scene;
    std::vector<std::string> Calls;
    std::vector<Write> Writes;
    std::vector<std::string> Misuse;
    std::vector<std::string> Fallible;
    std::map<std::uintptr_t, OpenHandle> Handles;
    std::map<std::uintptr_t, bool> Sets;  // value: still alive
    std::map<void*, SIZE_T> Heap;
    std::vector<bool> NumbersRead;        // per interface: its attributes were read
    std::uintptr_t NextHandle = 0x1000;
    int WritesSeen = 0;
    DWORD LastError = 0;
};

std::mutex machineLock;
Machine machine;

const HANDLE ProcessHeap = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0xEEEE0000));

bool SameGuid(const GUID* a, const GUID& b)
{
    return a != nullptr && std::memcmp(a, &b, sizeof(GUID)) == 0;
}

std::string Hex(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string Pointer(const void* p, const char* name)
{
    return p == nullptr ? "null" : name;
}

void Misuse(const std::string& what)
{
    machine.Misuse.push_back(what);
}

// Counts a call that can fail; true when the scenario injects its failure here.
bool Injected(const std::string& call)
{
    const bool fail = static_cast<int>(machine.Fallible.size()) == machine.Scene.FailCall;
    machine.Fallible.push_back(call);
    return fail;
}

template <typename T>
T Fail(T result, DWORD error)
{
    machine.LastError = error;
    return result;
}

std::uintptr_t Key(const void* handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

std::string HandleName(HANDLE handle)
{
    const auto found = machine.Handles.find(Key(handle));
    if (found == machine.Handles.end()) {
        return handle == INVALID_HANDLE_VALUE ? "invalid" : "unknown " + Hex(Key(handle));
    }
    const char* kind = found->second.Kind == HandleKind::Query ? "query:" : "write:";
    return kind + machine.Scene.Interfaces[found->second.Interface].Path;
}

HANDLE NewHandle()
{
    machine.NextHandle += 0x10;
    return reinterpret_cast<HANDLE>(machine.NextHandle);
}

bool LiveSet(HDEVINFO set)
{
    const auto found = machine.Sets.find(Key(set));
    return found != machine.Sets.end() && found->second;
}

// The member an interface record names, or -1 when it names none.
long Member(const SP_DEVICE_INTERFACE_DATA* data)
{
    if (data == nullptr || data->cbSize != InterfaceDataSize || data->Reserved == 0 ||
        data->Reserved > machine.Scene.Interfaces.size()) {
        return -1;
    }
    return static_cast<long>(data->Reserved) - 1;
}

DWORD RequiredDetailSize(const HidInterface& device)
{
    return static_cast<DWORD>(DetailPathOffset + device.Path.size() + 1);
}

}  // namespace

HidInterface Device(const std::string& path, std::uint16_t vendor, std::uint16_t product)
{
    HidInterface device;
    device.Path = path;
    device.Vendor = vendor;
    device.Product = product;
    return device;
}

HidInterface Transmitter(const std::string& path)
{
    return Device(path, TransmitterVendor, TransmitterProduct);
}

void Install(const Scenario& scenario)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    for (const auto& block : machine.Heap) {
        std::free(block.first);
    }
    machine = Machine{};
    machine.Scene = scenario;
    machine.NumbersRead.assign(scenario.Interfaces.size(), false);
}

void ForgetRecords()
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.clear();
    machine.Writes.clear();
    machine.Fallible.clear();
    machine.WritesSeen = 0;
    machine.NumbersRead.assign(machine.Scene.Interfaces.size(), false);
}

std::vector<std::string> Calls()
{
    const std::lock_guard<std::mutex> lock(machineLock);
    return machine.Calls;
}

std::vector<Write> Writes()
{
    const std::lock_guard<std::mutex> lock(machineLock);
    return machine.Writes;
}

std::vector<std::string> Problems()
{
    const std::lock_guard<std::mutex> lock(machineLock);
    std::vector<std::string> problems = machine.Misuse;
    for (const auto& handle : machine.Handles) {
        problems.push_back("handle left open: " + HandleName(reinterpret_cast<HANDLE>(handle.first)));
    }
    for (const auto& block : machine.Heap) {
        problems.push_back("heap block left allocated: " + std::to_string(block.second) + " bytes");
    }
    for (const auto& set : machine.Sets) {
        if (set.second) {
            problems.push_back("device-information set left undestroyed");
        }
    }
    return problems;
}

std::vector<std::string> FallibleCalls()
{
    const std::lock_guard<std::mutex> lock(machineLock);
    return machine.Fallible;
}

}  // namespace standin

using namespace standin;

extern "C" {

DWORD WINAPI GetLastError()
{
    const std::lock_guard<std::mutex> lock(machineLock);
    return machine.LastError;
}

void WINAPI SetLastError(DWORD errorCode)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.LastError = errorCode;
}

void WINAPI HidD_GetHidGuid(LPGUID hidGuid)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back("HidD_GetHidGuid");
    *hidGuid = HidClass;
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent, DWORD flags)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back("SetupDiGetClassDevsA(" + std::string(SameGuid(classGuid, HidClass) ? "hid" : "other") +
                            ", " + Pointer(enumerator, "enumerator") + ", " + Pointer(parent, "window") + ", " +
                            Hex(flags) + ")");
    if (!SameGuid(classGuid, HidClass) || enumerator != nullptr || parent != nullptr ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
        Misuse("SetupDiGetClassDevsA asked for something other than present HID interfaces");
    }
    if (Injected("SetupDiGetClassDevsA") || machine.Scene.SetFails) {
        return Fail(INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);
    }
    HANDLE set = NewHandle();
    machine.Sets[Key(set)] = true;
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClass,
                                        DWORD memberIndex, PSP_DEVICE_INTERFACE_DATA interfaceData)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back("SetupDiEnumDeviceInterfaces(" + std::string(LiveSet(set) ? "set" : "bad set") + ", " +
                            Pointer(deviceInfo, "device") + ", " +
                            (SameGuid(interfaceClass, HidClass) ? "hid" : "other") + ", " +
                            std::to_string(memberIndex) + ")");
    if (!LiveSet(set)) {
        Misuse("SetupDiEnumDeviceInterfaces on a set that is not alive");
        return Fail(FALSE, ERROR_INVALID_HANDLE);
    }
    if (deviceInfo != nullptr || !SameGuid(interfaceClass, HidClass)) {
        Misuse("SetupDiEnumDeviceInterfaces given a device filter or another class");
    }
    if (interfaceData == nullptr || interfaceData->cbSize != InterfaceDataSize) {
        Misuse("SetupDiEnumDeviceInterfaces given an interface record whose size field is not 28");
        return Fail(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (Injected("SetupDiEnumDeviceInterfaces #" + std::to_string(memberIndex))) {
        return Fail(FALSE, ERROR_GEN_FAILURE);
    }
    if (memberIndex >= machine.Scene.Interfaces.size()) {
        return Fail(FALSE, ERROR_NO_MORE_ITEMS);
    }
    interfaceData->InterfaceClassGuid = HidClass;
    interfaceData->Flags = 1;
    interfaceData->Reserved = memberIndex + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    const long member = Member(interfaceData);
    machine.Calls.push_back("SetupDiGetDeviceInterfaceDetailA(" + std::string(LiveSet(set) ? "set" : "bad set") +
                            ", #" + std::to_string(member) + ", " + Pointer(detail, "detail") + ", " +
                            std::to_string(detailSize) + ", " + Pointer(requiredSize, "size") + ", " +
                            Pointer(deviceInfo, "device") + ")");
    if (!LiveSet(set) || member < 0) {
        Misuse("SetupDiGetDeviceInterfaceDetailA on a dead set or an unknown interface record");
        return Fail(FALSE, ERROR_INVALID_PARAMETER);
    }
    if (deviceInfo != nullptr) {
        Misuse("SetupDiGetDeviceInterfaceDetailA given a device record");
    }
    const HidInterface& device = machine.Scene.Interfaces[static_cast<std::size_t>(member)];
    if (detail == nullptr) {
        if (detailSize != 0) {
            Misuse("SetupDiGetDeviceInterfaceDetailA size query with a non-zero size");
            return Fail(FALSE, ERROR_INVALID_USER_BUFFER);
        }
        if (Injected("size query #" + std::to_string(member))) {
            return Fail(FALSE, ERROR_GEN_FAILURE);
        }
        if (requiredSize != nullptr) {
            *requiredSize = device.ReportedSize.value_or(RequiredDetailSize(device));
        }
        return Fail(FALSE, ERROR_INSUFFICIENT_BUFFER);
    }
    const auto block = machine.Heap.find(detail);
    if (block == machine.Heap.end() || block->second < detailSize) {
        Misuse("SetupDiGetDeviceInterfaceDetailA given a record smaller than the size it claims");
        return Fail(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (detailSize < DetailFixedSize || detail->cbSize != DetailFixedSize) {
        Misuse("SetupDiGetDeviceInterfaceDetailA given a detail record whose size field is not 5");
        return Fail(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (Injected("detail fetch #" + std::to_string(member)) || device.DetailFetchFails) {
        return Fail(FALSE, ERROR_GEN_FAILURE);
    }
    if (requiredSize != nullptr) {
        *requiredSize = RequiredDetailSize(device);
    }
    if (detailSize < RequiredDetailSize(device)) {
        return Fail(FALSE, ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(detail->DevicePath, device.Path.c_str(), device.Path.size() + 1);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back(std::string("SetupDiDestroyDeviceInfoList(") + (LiveSet(set) ? "set" : "bad set") + ")");
    if (!LiveSet(set)) {
        Misuse("SetupDiDestroyDeviceInfoList on a set that is not alive");
        return Fail(FALSE, ERROR_INVALID_HANDLE);
    }
    machine.Sets[Key(set)] = false;
    // An injected failure still leaves the set destroyed: nothing the caller could do about it.
    if (Injected("SetupDiDestroyDeviceInfoList")) {
        return Fail(FALSE, ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                          DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    const std::string path = fileName == nullptr ? "(null)" : fileName;
    machine.Calls.push_back("CreateFileA(" + path + ", " + Hex(desiredAccess) + ", " + std::to_string(shareMode) +
                            ", " + Pointer(security, "security") + ", " + std::to_string(creationDisposition) +
                            ", " + Hex(flagsAndAttributes) + ", " + Pointer(templateFile, "template") + ")");
    if ((desiredAccess != 0 && desiredAccess != GENERIC_WRITE) ||
        shareMode != (FILE_SHARE_READ | FILE_SHARE_WRITE) || security != nullptr ||
        creationDisposition != OPEN_EXISTING || flagsAndAttributes != 0 || templateFile != nullptr) {
        Misuse("CreateFileA with arguments other than a shared, synchronous open of an existing device");
    }
    const bool forWriting = desiredAccess == GENERIC_WRITE;
    if (Injected(std::string(forWriting ? "write open " : "query open ") + path)) {
        return Fail(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    }
    std::size_t index = 0;
    while (index < machine.Scene.Interfaces.size() && machine.Scene.Interfaces[index].Path != path) {
        ++index;
    }
    if (index == machine.Scene.Interfaces.size()) {
        return Fail(INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
    }
    const HidInterface& device = machine.Scene.Interfaces[index];
    if (forWriting && !machine.NumbersRead[index]) {
        Misuse("opened for writing before its numbers were read: " + path);
    }
    if (forWriting ? device.WriteOpenFails : device.QueryOpenFails) {
        return Fail(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    }
    HANDLE handle = NewHandle();
    machine.Handles[Key(handle)] = OpenHandle{forWriting ? HandleKind::Write : HandleKind::Query, index};
    return handle;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back("HidD_GetAttributes(" + HandleName(device) + ")");
    const auto found = machine.Handles.find(Key(device));
    if (found == machine.Handles.end()) {
        Misuse("HidD_GetAttributes on a handle that is not open");
        return FALSE;
    }
    if (attributes == nullptr || attributes->Size != AttributesSize) {
        Misuse("HidD_GetAttributes given an attribute record whose size field is not 12");
        return FALSE;
    }
    const HidInterface& hid = machine.Scene.Interfaces[found->second.Interface];
    if (Injected("attributes " + hid.Path) || hid.AttributesFail) {
        return FALSE;
    }
    attributes->VendorID = hid.Vendor;
    attributes->ProductID = hid.Product;
    attributes->VersionNumber = 0x0100;
    machine.NumbersRead[found->second.Interface] = true;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back("WriteFile(" + HandleName(file) + ", " + std::to_string(bytesToWrite) + ", " +
                            Pointer(bytesWritten, "count") + ", " + Pointer(overlapped, "overlapped") + ")");
    if (bytesWritten == nullptr && overlapped == nullptr) {
        Misuse("WriteFile given neither a bytes-written variable nor an overlapped record: Windows faults");
        return Fail(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (overlapped != nullptr) {
        Misuse("WriteFile given an overlapped record for a synchronous handle");
    }
    const auto found = machine.Handles.find(Key(file));
    if (found == machine.Handles.end() || found->second.Kind != HandleKind::Write) {
        Misuse("WriteFile on a handle not open for writing: " + HandleName(file));
        return Fail(FALSE, found == machine.Handles.end() ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    const int number = machine.WritesSeen++;
    const std::string& path = machine.Scene.Interfaces[found->second.Interface].Path;
    if (Injected("write " + std::to_string(number)) ||
        (machine.Scene.WritesFailFrom >= 0 && number >= machine.Scene.WritesFailFrom)) {
        return Fail(FALSE, ERROR_DEVICE_NOT_CONNECTED);
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    machine.Writes.push_back(Write{path, std::vector<std::uint8_t>(bytes, bytes + bytesToWrite), Key(file)});
    if (bytesWritten != nullptr) {
        *bytesWritten = bytesToWrite;
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    const std::string name = HandleName(object);
    machine.Calls.push_back("CloseHandle(" + name + ")");
    const auto found = machine.Handles.find(Key(object));
    if (found == machine.Handles.end()) {
        Misuse("CloseHandle on a handle that is not open (closed twice, or never opened): " + name);
        return Fail(FALSE, ERROR_INVALID_HANDLE);
    }
    machine.Handles.erase(found);
    // An injected failure still leaves the handle closed, as an error reported at close does.
    if (Injected("CloseHandle " + name)) {
        return Fail(FALSE, ERROR_GEN_FAILURE);
    }
    return TRUE;
}

HANDLE WINAPI GetProcessHeap()
{
    return ProcessHeap;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back("HeapAlloc(" + std::to_string(bytes) + ")");
    if (heap != ProcessHeap || flags != 0) {
        Misuse("HeapAlloc on another heap or with flags");
    }
    if (Injected("HeapAlloc " + std::to_string(bytes))) {
        return nullptr;
    }
    // Exactly the bytes asked for, so that the sanitizers see any write past the end.
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    machine.Heap[block] = bytes;
    return block;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID memory)
{
    const std::lock_guard<std::mutex> lock(machineLock);
    machine.Calls.push_back("HeapFree");
    const auto found = machine.Heap.find(memory);
    if (heap != ProcessHeap || flags != 0 || found == machine.Heap.end()) {
        Misuse("HeapFree of a block that is not allocated, or on another heap");
        return FALSE;
    }
    std::free(memory);
    machine.Heap.erase(found);
    // An injected failure still frees the block: a caller has no way to retry it.
    if (Injected("HeapFree")) {
        return FALSE;
    }
    return TRUE;
}

LPSTR WINAPI lstrcpynA(LPSTR destination, LPCSTR source, int maxLength)
{
    if (maxLength <= 0) {
        return destination;
    }
    int i = 0;
    for (; i < maxLength - 1 && source[i] != '\0'; ++i) {
        destination[i] = source[i];
    }
    destination[i] = '\0';
    return destination;
}

}  // extern "C"
