// The simulated key transmitter's view of the machine: which HID interfaces are present, read
// afresh from the text file that TUNER_SIMULATOR_SCENARIO names, one line each:
//
//   device VENDOR PRODUCT FAULTS PATH    an interface; VENDOR and PRODUCT in hex; FAULTS is "-"
//                                        or a comma-separated list of the faults below; PATH is
//                                        a file that stands for the device (the rest of the line)
//   no-set                               the device-information set cannot be built
//   # ...                                a comment
//
// Faults: size-zero (the size query reports no size), size-short (it reports 3 bytes, less than
// the record's fixed part), detail-fetch (the detail fetch fails), attributes (the attributes
// cannot be read), from-search-N (present only from the N-th search on, counting from 1).
// A query open fails when PATH names no file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace simulator {

struct Device {
    unsigned Vendor = 0;
    unsigned Product = 0;
    std::string Path;
    bool SizeZero = false;
    bool SizeShort = false;
    bool DetailFetchFails = false;
    bool AttributesFail = false;
    int FromSearch = 1;
};

struct Scenario {
    bool Loaded = false;  // false when the file is missing or unreadable: then no set is built
    bool NoSet = false;
    std::vector<Device> Devices;
};

Scenario LoadScenario();

// The HID interface class, as Windows names it.
extern const GUID HidClass;

}  // namespace simulator
