// The deliverable's constants. Compiled once per deliverable, each time with that deliverable's
// folder under variants/ on the include path, which supplies Variant.h.
#include "PluginVariant.h"
#include "Variant.h"

const PluginVariant Variant = {
    VARIANT_OUTPUT_SELECTOR,
    VARIANT_BOX_CODE,
    VARIANT_DISPLAY_NAME,
    VARIANT_DESCRIPTION,
};
