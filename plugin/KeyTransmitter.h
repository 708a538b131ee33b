// The USB HID key transmitter and the report that carries one key to it.
#pragma once

#include "HidDeviceSearch.h"
#include "Platform.h"

#include <cstdint>

constexpr std::int32_t KeyTransmitterVendor = 0x6666;
constexpr std::int32_t KeyTransmitterProduct = 0xF100;

constexpr std::uint8_t LeadInKey = 0x80;
constexpr std::uint8_t FillerByte = 0x7A;

// One key as the transmitter takes it: a 9-byte HID output report, written as one unit.
struct KeyReport {
    std::uint8_t ReportId;
    std::uint8_t OutputSelector;
    std::uint8_t BoxCode;
    std::uint8_t KeyCode;
    std::uint8_t Filler[5];
};
static_assert(sizeof(KeyReport) == 9, "a key report is 9 bytes");

KeyReport MakeKeyReport(std::uint8_t outputSelector, std::uint8_t boxCode, std::uint8_t keyCode);

// Owns the transmitter's write handle for the length of one channel change.
class KeyTransmitter {
public:
    KeyTransmitter() = default;
    ~KeyTransmitter();
    KeyTransmitter(const KeyTransmitter&) = delete;
    KeyTransmitter& operator=(const KeyTransmitter&) = delete;

    // Finds and opens the transmitter unless it is open already; true when it is open.
    bool Open();
    // Writes one key report; true when the write call succeeded. False, writing nothing, when closed.
    bool SendKey(std::uint8_t outputSelector, std::uint8_t boxCode, std::uint8_t keyCode);
    // Releases the handle, if any. Harmless when already closed.
    void Close();

private:
    HANDLE device_ = InvalidDevice;
};
