#include "KeyTransmitter.h"

KeyReport MakeKeyReport(std::uint8_t outputSelector, std::uint8_t boxCode, std::uint8_t keyCode)
{
    return KeyReport{0x00, outputSelector, boxCode, keyCode, {FillerByte, FillerByte, FillerByte, FillerByte, FillerByte}};
}

KeyTransmitter::~KeyTransmitter()
{
    Close();
}

bool KeyTransmitter::Open()
{
    if (device_ != InvalidDevice) {
        return true;
    }
    device_ = OpenHidDevice(KeyTransmitterVendor, KeyTransmitterProduct);
    return device_ != InvalidDevice;
}

bool KeyTransmitter::SendKey(std::uint8_t outputSelector, std::uint8_t boxCode, std::uint8_t keyCode)
{
    if (device_ == InvalidDevice) {
        return false;
    }
    const KeyReport report = MakeKeyReport(outputSelector, boxCode, keyCode);
    // The count is not examined, but the platform faults when both it and an overlapped
    // record are missing.
    DWORD written = 0;
    return WriteFile(device_, &report, sizeof(report), &written, nullptr) != FALSE;
}

void KeyTransmitter::Close()
{
    if (device_ == InvalidDevice) {
        return;
    }
    CloseHandle(device_);
    device_ = InvalidDevice;
}
