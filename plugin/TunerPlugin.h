// The plug-in's two exports. Both take their argument on the stack, the caller removes it,
// and both always return 1.
#pragma once

#include "Platform.h"
#include "TunerProperties.h"

#include <cstdint>

extern "C" {
std::int32_t __cdecl SetTunerFrequency(std::uint32_t channelNumber);
std::int32_t __cdecl TunerGetProperties(TunerProperties* properties);
}
