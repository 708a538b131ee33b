// A stand-in for Windows' hid.dll: tells the scenario's devices' vendor and product numbers to
// whoever holds a handle to one of their files, and remembers every handle it was given.

#include "Scenario.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Attributes {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
static_assert(sizeof(Attributes) == 12, "attribute record");

std::vector<HANDLE> handlesGiven;

// The scenario, read again only when its file changes: attributes are read once per interface
// examined, and rereading the file each time would swamp what a benchmark measures.
const simulator::Scenario& CurrentScenario()
{
    static simulator::Scenario scenario;
    static FILETIME written = {0, 0};
    static DWORD size = 0;
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    const char* file = std::getenv("TUNER_SIMULATOR_SCENARIO");
    if (file == nullptr || !GetFileAttributesExA(file, GetFileExInfoStandard, &info)) {
        scenario = simulator::Scenario{};
    } else if (!scenario.Loaded || CompareFileTime(&info.ftLastWriteTime, &written) != 0 || info.nFileSizeLow != size) {
        scenario = simulator::LoadScenario();
        written = info.ftLastWriteTime;
        size = info.nFileSizeLow;
    }
    return scenario;
}

// The full path of the file a handle was opened on, as "\\?\X:\...".
std::string PathOf(HANDLE handle)
{
    char path[MAX_PATH + 8];
    const DWORD length = GetFinalPathNameByHandleA(handle, path, sizeof path, FILE_NAME_NORMALIZED);
    return length == 0 || length >= sizeof path ? std::string() : std::string(path, length);
}

bool SamePath(const std::string& opened, const std::string& known)
{
    const std::string full = "\\\\?\\" + known;
    return !opened.empty() && (lstrcmpiA(opened.c_str(), full.c_str()) == 0 || lstrcmpiA(opened.c_str(), known.c_str()) == 0);
}

}  // namespace

extern "C" {

void WINAPI HidD_GetHidGuid(GUID* hidGuid)
{
    *hidGuid = simulator::HidClass;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE device, Attributes* attributes)
{
    handlesGiven.push_back(device);
    if (attributes == nullptr || attributes->Size != sizeof(Attributes)) {
        return FALSE;
    }
    const std::string opened = PathOf(device);
    for (const simulator::Device& known : CurrentScenario().Devices) {
        if (SamePath(opened, known.Path)) {
            if (known.AttributesFail) {
                return FALSE;
            }
            attributes->VendorID = static_cast<USHORT>(known.Vendor);
            attributes->ProductID = static_cast<USHORT>(known.Product);
            attributes->VersionNumber = 0x0100;
            return TRUE;
        }
    }
    return FALSE;
}

// For the stand-in host's checks: how many handles were given, copied into `handles`.
int __cdecl SimulatorHandlesGiven(HANDLE* handles, int capacity)
{
    const int count = static_cast<int>(handlesGiven.size());
    for (int i = 0; i < count && i < capacity; ++i) {
        handles[i] = handlesGiven[static_cast<std::size_t>(i)];
    }
    return count;
}

}  // extern "C"
