// A scriptable model of the machine the plug-in runs on, behind the stand-in declarations in
// include/: the present HID interfaces, the faults each step of a search can meet, and a record
// of every platform call, handle, heap block and device-information set. It checks what the real
// platform checks (size fields, flags, arguments) and reports any misuse as a problem.
// Thread-safe: every entry point holds one lock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct HidInterface {
    std::string Path;
    std::uint16_t Vendor = 0;
    std::uint16_t Product = 0;

    // Faults this interface shows, each at one step of the search.
    std::optional<DWORD> ReportedSize;  // the size query reports this in place of the true size
    bool DetailFetchFails = false;
    bool QueryOpenFails = false;
    bool AttributesFail = false;
    bool WriteOpenFails = false;
};

struct Scenario {
    bool SetFails = false;                  // the device-information set cannot be built
    std::vector<HidInterface> Interfaces;   // in the order the platform enumerates them
    int WritesFailFrom = -1;                // 0-based number of the first report whose write fails
    int FailCall = -1;                      // 0-based number of the one fallible call to fail
};

struct Write {
    std::string Path;
    std::vector<std::uint8_t> Bytes;
    std::uintptr_t Handle;  // tells one open of the device from another
};

// The key transmitter's numbers.
constexpr std::uint16_t TransmitterVendor = 0x6666;
constexpr std::uint16_t TransmitterProduct = 0xF100;

// A faultless interface with the given numbers, and one that carries the transmitter's.
HidInterface Device(const std::string& path, std::uint16_t vendor, std::uint16_t product);
HidInterface Transmitter(const std::string& path);

// Replaces the machine's state with a fresh one presenting the scenario.
void Install(const Scenario& scenario);

// Forgets the calls, writes and misuse recorded so far, keeping the scenario and whatever is
// open: lets a long run of channel changes go on without its records growing.
void ForgetRecords();

// Every platform call since Install, one line each with its arguments, in order.
std::vector<std::string> Calls();
// Every report written since Install, in order.
std::vector<Write> Writes();
// Misuse of the platform since Install, then whatever is still held: open handles, live heap
// blocks, undestroyed sets. Empty when the plug-in behaved.
std::vector<std::string> Problems();
// How many calls that can fail were made since Install, and what each was.
std::vector<std::string> FallibleCalls();

}  // namespace standin
