// A Sky digibox on the key transmitter's second output.
#pragma once

#define VARIANT_OUTPUT_SELECTOR 0x31
#define VARIANT_BOX_CODE 0x00
#define VARIANT_DISPLAY_NAME "Tarrik (2nd Output)"
#define VARIANT_DESCRIPTION "Kestrova tuner driver for a Sky digibox using output #2."
#define VARIANT_FILE_NAME "Tarrik2.dll"
