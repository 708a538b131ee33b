// The record that the host passes to TunerGetProperties; the plug-in only writes it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t TunerStringField = 260;

struct TunerProperties {
    std::int32_t FirstWord;
    std::int32_t SecondWord;
    char DisplayName[TunerStringField];
    char Description[TunerStringField];
};

static_assert(sizeof(TunerProperties) == 528, "the host's record is 528 bytes");
static_assert(offsetof(TunerProperties, FirstWord) == 0, "first word at offset 0");
static_assert(offsetof(TunerProperties, SecondWord) == 4, "second word at offset 4");
static_assert(offsetof(TunerProperties, DisplayName) == 8, "display name at offset 8");
static_assert(offsetof(TunerProperties, Description) == 268, "description at offset 268");
