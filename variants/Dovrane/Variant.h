// A Sky+ digibox on the key transmitter's first output.
#pragma once

#define VARIANT_OUTPUT_SELECTOR 0x30
#define VARIANT_BOX_CODE 0x0C
#define VARIANT_DISPLAY_NAME "Dovrane"
#define VARIANT_DESCRIPTION "Kestrova tuner driver for a Sky+ digibox."
#define VARIANT_FILE_NAME "Dovrane.dll"
