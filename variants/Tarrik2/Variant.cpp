// A Sky digibox on the key transmitter's second output.
#include "PluginVariant.h"

const PluginVariant Variant = {
    0x31,  // OutputSelector
    0x00,  // BoxCode
    "Tarrik (2nd Output)",
    "Kestrova tuner driver for a Sky digibox using output #2.",
};
