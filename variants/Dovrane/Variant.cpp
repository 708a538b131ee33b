// A Sky+ digibox on the key transmitter's first output.
#include "PluginVariant.h"

const PluginVariant Variant = {
    0x30,  // OutputSelector
    0x0C,  // BoxCode
    "Dovrane",
    "Kestrova tuner driver for a Sky+ digibox.",
};
