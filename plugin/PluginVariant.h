// The build-time constants that tell one deliverable from another.
#pragma once

#include <cstdint>

struct PluginVariant {
    std::uint8_t OutputSelector;  // 0x30 addresses the transmitter's first output, 0x31 its second
    std::uint8_t BoxCode;         // 0x0C for a Sky+ digibox, 0x00 for a Sky digibox
    const char* DisplayName;      // at most 259 characters
    const char* Description;      // at most 259 characters
};

// Defined once per deliverable, by its build definition.
extern const PluginVariant Variant;
