// The image's load configuration. The loader reads it from the symbol _load_config_used, and
// the linker points the image's load-configuration directory at it.
//
// Its one setting: the DLLs this library imports (hid.dll, setupapi.dll, kernel32.dll) are
// looked up in the system folder only. hid.dll and setupapi.dll are not among the libraries
// that Windows always takes from there, so without it a hid.dll planted in the host's folder
// would be loaded into the host in their place.
#include <cstddef>
#include <cstdint>

// The 32-bit load configuration as Microsoft documents it (IMAGE_LOAD_CONFIG_DIRECTORY32), up
// to the safe exception-handler table. Later fields are optional: Size says where it ends.
struct LoadConfiguration32 {
    std::uint32_t Size;
    std::uint32_t TimeDateStamp;
    std::uint16_t MajorVersion;
    std::uint16_t MinorVersion;
    std::uint32_t GlobalFlagsClear;
    std::uint32_t GlobalFlagsSet;
    std::uint32_t CriticalSectionDefaultTimeout;
    std::uint32_t DeCommitFreeBlockThreshold;
    std::uint32_t DeCommitTotalFreeThreshold;
    std::uint32_t LockPrefixTable;
    std::uint32_t MaximumAllocationSize;
    std::uint32_t VirtualMemoryThreshold;
    std::uint32_t ProcessHeapFlags;
    std::uint32_t ProcessAffinityMask;
    std::uint16_t CSDVersion;
    std::uint16_t DependentLoadFlags;
    std::uint32_t EditList;
    std::uint32_t SecurityCookie;
    std::uint32_t SEHandlerTable;
    std::uint32_t SEHandlerCount;
};
static_assert(offsetof(LoadConfiguration32, DependentLoadFlags) == 0x36, "documented layout");
static_assert(sizeof(LoadConfiguration32) == 0x48, "documented layout");

// LOAD_LIBRARY_SEARCH_SYSTEM32: the system folder, and nothing else.
constexpr std::uint16_t SearchSystemFolderOnly = 0x0800;

// No exception handlers are listed: the image declares that it has none (the linker's no-SEH
// flag), which is true of the plug-in.
extern "C" const LoadConfiguration32 _load_config_used = {
    sizeof(LoadConfiguration32), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, SearchSystemFolderOnly, 0, 0, 0, 0,
};
