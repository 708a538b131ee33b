// tuner-host: tries a Kestrova tuner plug-in without Kestrova. Loads the plug-in DLL, finds its
// two exports, and asks it for its properties or to change channel, the way Kestrova does.

#include <windows.h>
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TunerProperties {
    std::int32_t FirstWord;
    std::int32_t SecondWord;
    char DisplayName[260];
    char Description[260];
};
static_assert(sizeof(TunerProperties) == 528, "the host's record is 528 bytes");

// Both exports take their one argument on the stack and leave it for the caller to remove.
typedef std::int32_t(__cdecl* SetTunerFrequencyFn)(std::uint32_t);
typedef std::int32_t(__cdecl* TunerGetPropertiesFn)(TunerProperties*);

// The extra entry points of the simulated key transmitter's setupapi.dll and hid.dll, present
// only when the simulator stands in for Windows' own libraries.
typedef int(__cdecl* LiveSetsFn)();
typedef int(__cdecl* DevicePathFn)(int, char*, int);
typedef int(__cdecl* HandlesGivenFn)(HANDLE*, int);

enum ExitCode { Success = 0, Failure = 1, Usage = 2, Misbehaved = 3 };

const char* const HelpText =
    "usage: tuner-host devices\n"
    "       tuner-host PLUGIN.dll props [--raw]\n"
    "       tuner-host PLUGIN.dll tune CHANNEL...\n"
    "       tuner-host PLUGIN.dll bench DEVICE-PATH [ROUNDS]\n"
    "       tuner-host PLUGIN.dll soak [ROUNDS]\n"
    "\n"
    "Loads a Kestrova tuner plug-in and calls it as Kestrova would.\n"
    "  devices      lists the HID interfaces Windows presents, with their vendor and product\n"
    "               numbers, and marks the key transmitter; exits with 1 when there is none\n"
    "  props        asks for the plug-in's properties and prints its name and description;\n"
    "               --raw also prints the 528-byte record in hex\n"
    "  tune         changes channel once for each CHANNEL (0 to 4294967295), in order, and\n"
    "               prints what each call returned and how long it took\n"
    "  bench        times channel changes against the cost of the bare device I/O: opening\n"
    "               DEVICE-PATH, writing four 9-byte reports and closing it\n"
    "  soak         changes channel ROUNDS times (1000 unless given) and reports the process's\n"
    "               open handles and heap in use before and after; exits with 3 when they grew\n"
    "\n"
    "A plug-in sends the keys to the USB key transmitter (vendor 0x6666, product 0xF100).\n"
    "It returns 1 whether or not a transmitter was found: if the box does not change channel,\n"
    "check that Windows lists the transmitter among its HID devices.\n";

struct Plugin {
    HMODULE Module = nullptr;
    SetTunerFrequencyFn SetTunerFrequency = nullptr;
    TunerGetPropertiesFn TunerGetProperties = nullptr;
};

FARPROC ByOrdinal(HMODULE module, WORD ordinal)
{
    return GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)));
}

// Loads the plug-in and resolves each export by name and by ordinal, which must agree.
bool LoadPlugin(const char* path, Plugin& plugin)
{
    plugin.Module = LoadLibraryA(path);
    if (plugin.Module == nullptr) {
        std::fprintf(stderr, "tuner-host: cannot load %s (error %lu)\n", path, GetLastError());
        return false;
    }
    struct Entry {
        const char* Name;
        WORD Ordinal;
        FARPROC Address;
    } entries[] = {{"SetTunerFrequency", 1, nullptr}, {"TunerGetProperties", 2, nullptr}};
    bool good = true;
    for (Entry& e : entries) {
        const FARPROC byName = GetProcAddress(plugin.Module, e.Name);
        const FARPROC byOrdinal = ByOrdinal(plugin.Module, e.Ordinal);
        if (byName == nullptr || byOrdinal == nullptr || byName != byOrdinal) {
            std::fprintf(stderr, "tuner-host: %s does not export %s at ordinal %u (by name %s, by ordinal %s)\n",
                         path, e.Name, e.Ordinal, byName ? "found" : "missing",
                         byOrdinal ? (byOrdinal == byName ? "same" : "another function") : "missing");
            good = false;
        }
        e.Address = byName;
    }
    plugin.SetTunerFrequency = reinterpret_cast<SetTunerFrequencyFn>(reinterpret_cast<void*>(entries[0].Address));
    plugin.TunerGetProperties = reinterpret_cast<TunerGetPropertiesFn>(reinterpret_cast<void*>(entries[1].Address));
    return good;
}

// Calls a one-argument export and measures how far the stack pointer moved: a caller-cleans
// call leaves the argument on the stack (-4 bytes), a callee-cleans one removes it (0).
std::int32_t CallMeasuringStack(void* function, std::uint32_t argument, std::int32_t& stackMoved)
{
    std::int32_t result;
    std::uint32_t before;
    std::uint32_t after;
    std::uint32_t scratch = argument;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %%ecx\n\t"
        "call *%%ebx\n\t"
        "movl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "=S"(before), "=D"(after), "+c"(scratch)
        : "b"(function)
        : "edx", "memory", "cc");
    stackMoved = static_cast<std::int32_t>(after - before);
    return result;
}

bool StackBalanced(std::int32_t stackMoved, const char* exportName)
{
    if (stackMoved == -4) {
        return true;
    }
    std::fprintf(stderr,
                 "tuner-host: %s moved the stack by %ld bytes: it removes its own argument, "
                 "so it is not a Kestrova tuner plug-in\n",
                 exportName, static_cast<long>(stackMoved + 4));
    return false;
}

double Milliseconds(LONGLONG ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int Properties(const Plugin& plugin, bool raw)
{
    // Kestrova's record comes with whatever was in it: fill it with a pattern, so that any
    // byte the plug-in writes beyond a string's terminator shows.
    TunerProperties record;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) {
        bytes[i] = static_cast<unsigned char>(0xA0 + i % 7);
    }
    std::int32_t stackMoved = 0;
    const std::int32_t result = CallMeasuringStack(reinterpret_cast<void*>(plugin.TunerGetProperties),
                                                   static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&record)),
                                                   stackMoved);
    if (!StackBalanced(stackMoved, "TunerGetProperties")) {
        return Misbehaved;
    }
    std::printf("TunerGetProperties returned %ld\n", static_cast<long>(result));
    std::printf("  first word:   %ld\n", static_cast<long>(record.FirstWord));
    std::printf("  second word:  %ld\n", static_cast<long>(record.SecondWord));
    // Printed within their fields, terminated or not.
    std::printf("  display name: \"%.*s\"\n", static_cast<int>(strnlen(record.DisplayName, sizeof record.DisplayName)),
                record.DisplayName);
    std::printf("  description:  \"%.*s\"\n", static_cast<int>(strnlen(record.Description, sizeof record.Description)),
                record.Description);
    if (raw) {
        std::printf("  record:");
        for (std::size_t i = 0; i < sizeof record; ++i) {
            std::printf(" %02X", bytes[i]);
        }
        std::printf("\n");
    }
    return result == 1 ? Success : Failure;
}

// When the simulated transmitter stands in for Windows' libraries, checks that the plug-in
// released everything it opened: no device set, no handle to any device file, no handle that
// it gave hid.dll.
bool NothingLeftOpen()
{
    const HMODULE setupapi = GetModuleHandleA("setupapi.dll");
    const HMODULE hid = GetModuleHandleA("hid.dll");
    auto liveSets = reinterpret_cast<LiveSetsFn>(reinterpret_cast<void*>(GetProcAddress(setupapi, "SimulatorLiveSets")));
    auto devicePath = reinterpret_cast<DevicePathFn>(reinterpret_cast<void*>(GetProcAddress(setupapi, "SimulatorDevicePath")));
    auto handlesGiven = reinterpret_cast<HandlesGivenFn>(reinterpret_cast<void*>(GetProcAddress(hid, "SimulatorHandlesGiven")));
    if (liveSets == nullptr || devicePath == nullptr || handlesGiven == nullptr) {
        return true;
    }
    bool clean = true;
    if (liveSets() != 0) {
        std::fprintf(stderr, "tuner-host: %d device-information set(s) left undestroyed\n", liveSets());
        clean = false;
    }
    char path[MAX_PATH];
    for (int i = 0; devicePath(i, path, sizeof path) != 0; ++i) {
        // An open with no sharing fails while anyone else holds the file open for reading or writing.
        const HANDLE exclusive = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (exclusive == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
            std::fprintf(stderr, "tuner-host: device %s is still open\n", path);
            clean = false;
        } else if (exclusive != INVALID_HANDLE_VALUE) {
            CloseHandle(exclusive);
        }
    }
    std::vector<HANDLE> given(static_cast<std::size_t>(handlesGiven(nullptr, 0)));
    handlesGiven(given.data(), static_cast<int>(given.size()));
    for (HANDLE handle : given) {
        DWORD flags = 0;
        if (GetHandleInformation(handle, &flags)) {
            std::fprintf(stderr, "tuner-host: a handle the plug-in passed to hid.dll is still open\n");
            clean = false;
        }
    }
    return clean;
}

bool ParseChannel(const char* text, std::uint32_t& channel)
{
    char* end = nullptr;
    if (*text < '0' || *text > '9') {
        return false;
    }
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != '\0' || value > 0xFFFFFFFFull) {
        return false;
    }
    channel = static_cast<std::uint32_t>(value);
    return true;
}

int Tune(const Plugin& plugin, const std::vector<std::uint32_t>& channels)
{
    int status = Success;
    for (std::uint32_t channel : channels) {
        std::int32_t stackMoved = 0;
        const LONGLONG start = Now();
        const std::int32_t result = CallMeasuringStack(reinterpret_cast<void*>(plugin.SetTunerFrequency), channel, stackMoved);
        const double elapsed = Milliseconds(Now() - start);
        if (!StackBalanced(stackMoved, "SetTunerFrequency")) {
            return Misbehaved;
        }
        std::printf("SetTunerFrequency(%" PRIu32 ") returned %ld in %.3f ms\n", channel, static_cast<long>(result), elapsed);
        std::fflush(stdout);
        if (!NothingLeftOpen()) {
            return Misbehaved;
        }
        if (result != 1) {
            status = Failure;
        }
    }
    return status;
}

// The set of present HID interfaces, for the device listing.
class InterfaceSet {
public:
    explicit InterfaceSet(const GUID& hidClass)
        : set_(SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
    {
    }
    ~InterfaceSet()
    {
        if (set_ != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    InterfaceSet(const InterfaceSet&) = delete;
    InterfaceSet& operator=(const InterfaceSet&) = delete;
    HDEVINFO Get() const { return set_; }

private:
    HDEVINFO set_;
};

class File {
public:
    File(const char* path, DWORD access)
        : handle_(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)),
          error_(GetLastError())
    {
    }
    ~File()
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    DWORD Error() const { return error_; }

private:
    HANDLE handle_;
    DWORD error_;
};

// The device path of one member of the set, or an empty string.
std::string DevicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return {};
    }
    std::vector<char> buffer(size);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr)) {
        return {};
    }
    return std::string(detail->DevicePath, strnlen(detail->DevicePath, size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)));
}

// Lists the present HID interfaces as the plug-ins search them, and whether the first key
// transmitter among them, the one the plug-ins use, can be opened for writing.
int Devices()
{
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const InterfaceSet set(hidClass);
    if (set.Get() == INVALID_HANDLE_VALUE) {
        std::printf("Windows cannot list its HID interfaces (error %lu).\n", GetLastError());
        return Failure;
    }
    std::printf("HID interfaces present:\n");
    int count = 0;
    std::string transmitter;
    SP_DEVICE_INTERFACE_DATA data;
    for (DWORD index = 0;; ++index) {
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &hidClass, index, &data)) {
            break;
        }
        ++count;
        const std::string path = DevicePath(set.Get(), data);
        if (path.empty()) {
            std::printf("  %2d. (its device path cannot be read)\n", count);
            continue;
        }
        const File query(path.c_str(), 0);
        HIDD_ATTRIBUTES attributes;
        attributes.Size = sizeof attributes;
        if (!query.Open()) {
            std::printf("  %2d. cannot be opened (error %lu)          %s\n", count, query.Error(), path.c_str());
        } else if (!HidD_GetAttributes(query.Get(), &attributes)) {
            std::printf("  %2d. its numbers cannot be read             %s\n", count, path.c_str());
        } else {
            const bool isTransmitter = attributes.VendorID == 0x6666 && attributes.ProductID == 0xF100;
            std::printf("  %2d. vendor 0x%04X product 0x%04X  %s%s\n", count, attributes.VendorID,
                        attributes.ProductID, path.c_str(), isTransmitter ? "  <- key transmitter" : "");
            if (isTransmitter && transmitter.empty()) {
                transmitter = path;
            }
        }
    }
    if (count == 0) {
        std::printf("  (none)\n");
    }
    if (transmitter.empty()) {
        std::printf("No key transmitter (vendor 0x6666, product 0xF100) found: check that it is plugged in\n"
                    "and that Windows shows it among its HID devices.\n");
        return Failure;
    }
    const File writer(transmitter.c_str(), GENERIC_WRITE);
    if (!writer.Open()) {
        std::printf("Key transmitter found, but it cannot be opened for writing (error %lu): the plug-ins\n"
                    "cannot send it keys.\n",
                    writer.Error());
        return Failure;
    }
    std::printf("Key transmitter found and ready: the plug-ins send their keys to %s\n", transmitter.c_str());
    return Success;
}

// The I/O that every channel change needs, however it finds the device.
bool BareIo(const char* devicePath)
{
    const HANDLE device = CreateFileA(devicePath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return false;
    }
    const unsigned char report[9] = {0x00, 0x30, 0x0C, 0x80, 0x7A, 0x7A, 0x7A, 0x7A, 0x7A};
    for (int key = 0; key < 4; ++key) {
        DWORD written = 0;
        WriteFile(device, report, sizeof report, &written, nullptr);
    }
    CloseHandle(device);
    return true;
}

int Bench(const Plugin& plugin, const char* devicePath, int rounds)
{
    LONGLONG start = Now();
    for (int i = 0; i < rounds; ++i) {
        plugin.SetTunerFrequency(static_cast<std::uint32_t>(i));
    }
    const double change = Milliseconds(Now() - start) / rounds;
    start = Now();
    for (int i = 0; i < rounds; ++i) {
        if (!BareIo(devicePath)) {
            std::fprintf(stderr, "tuner-host: cannot open %s for writing\n", devicePath);
            return Failure;
        }
    }
    const double bare = Milliseconds(Now() - start) / rounds;
    std::printf("channel change: %.4f ms  bare I/O: %.4f ms  ratio: %.2f  (%d rounds)\n", change, bare,
                change / bare, rounds);
    return Success;
}

// What the process holds: its open handles, and the bytes in use on its heap.
struct ProcessUsage {
    DWORD Handles = 0;
    std::size_t HeapBytes = 0;
};

ProcessUsage MeasureUsage()
{
    ProcessUsage usage;
    GetProcessHandleCount(GetCurrentProcess(), &usage.Handles);
    const HANDLE heap = GetProcessHeap();
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            usage.HeapBytes += entry.cbData;
        }
    }
    HeapUnlock(heap);
    return usage;
}

// Many channel changes in one process, as a long-running Kestrova makes them. The next free
// handle value would not show a leak, since the platform hands out the lowest free value again:
// the count of open handles does. The heap may grow once, as the platform fills its caches, but
// not with every channel change: the first change, before the count, lets it.
int Soak(const Plugin& plugin, int rounds)
{
    int failed = plugin.SetTunerFrequency(0) == 1 ? 0 : 1;
    const ProcessUsage before = MeasureUsage();
    for (int i = 1; i < rounds; ++i) {
        if (plugin.SetTunerFrequency(static_cast<std::uint32_t>(i)) != 1) {
            ++failed;
        }
    }
    const ProcessUsage after = MeasureUsage();
    std::printf("soak: %d channel changes; open handles %lu before, %lu after; heap in use %zu bytes before, "
                "%zu after\n",
                rounds, static_cast<unsigned long>(before.Handles), static_cast<unsigned long>(after.Handles),
                before.HeapBytes, after.HeapBytes);
    if (after.Handles > before.Handles) {
        std::fprintf(stderr, "tuner-host: %lu more handle(s) open after the channel changes\n",
                     static_cast<unsigned long>(after.Handles - before.Handles));
        return Misbehaved;
    }
    if (after.HeapBytes >= before.HeapBytes + static_cast<std::size_t>(rounds)) {
        std::fprintf(stderr, "tuner-host: %zu more bytes in use on the heap after the channel changes\n",
                     after.HeapBytes - before.HeapBytes);
        return Misbehaved;
    }
    if (failed != 0) {
        std::fprintf(stderr, "tuner-host: %d call(s) did not return 1\n", failed);
        return Failure;
    }
    return Success;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                      std::strcmp(argv[1], "/?") == 0)) {
        std::fputs(HelpText, stdout);
        return Success;
    }
    if (argc == 2 && std::strcmp(argv[1], "devices") == 0) {
        return Devices();
    }
    if (argc < 3) {
        std::fputs(HelpText, stderr);
        return Usage;
    }
    const std::string command = argv[2];
    std::vector<std::uint32_t> channels;
    if (command == "tune") {
        for (int i = 3; i < argc; ++i) {
            std::uint32_t channel = 0;
            if (!ParseChannel(argv[i], channel)) {
                std::fprintf(stderr, "tuner-host: \"%s\" is not a channel number from 0 to 4294967295\n", argv[i]);
                return Usage;
            }
            channels.push_back(channel);
        }
        if (channels.empty()) {
            std::fputs("tuner-host: tune needs at least one channel number\n", stderr);
            return Usage;
        }
    } else if (command == "props") {
        if (argc > 4 || (argc == 4 && std::strcmp(argv[3], "--raw") != 0)) {
            std::fputs(HelpText, stderr);
            return Usage;
        }
    } else if (command == "bench") {
        if (argc < 4 || argc > 5) {
            std::fputs(HelpText, stderr);
            return Usage;
        }
    } else if (command == "soak") {
        if (argc > 4 || (argc == 4 && std::atoi(argv[3]) <= 0)) {
            std::fputs(HelpText, stderr);
            return Usage;
        }
    } else {
        std::fprintf(stderr, "tuner-host: unknown command \"%s\"\n\n%s", command.c_str(), HelpText);
        return Usage;
    }

    Plugin plugin;
    if (!LoadPlugin(argv[1], plugin)) {
        return Failure;
    }
    if (command == "props") {
        return Properties(plugin, argc == 4);
    }
    if (command == "tune") {
        return Tune(plugin, channels);
    }
    if (command == "soak") {
        return Soak(plugin, argc == 4 ? std::atoi(argv[3]) : 1000);
    }
    return Bench(plugin, argv[3], argc == 5 ? std::atoi(argv[4]) : 200);
}
