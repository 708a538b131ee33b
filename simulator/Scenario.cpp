#include "Scenario.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace simulator {

const GUID HidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

namespace {

bool ParseFaults(const std::string& list, Device& device)
{
    if (list == "-") {
        return true;
    }
    std::stringstream faults(list);
    std::string fault;
    while (std::getline(faults, fault, ',')) {
        if (fault == "size-zero") {
            device.SizeZero = true;
        } else if (fault == "size-short") {
            device.SizeShort = true;
        } else if (fault == "detail-fetch") {
            device.DetailFetchFails = true;
        } else if (fault == "attributes") {
            device.AttributesFail = true;
        } else if (fault.rfind("from-search-", 0) == 0) {
            device.FromSearch = std::atoi(fault.c_str() + 12);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

Scenario LoadScenario()
{
    Scenario scenario;
    const char* file = std::getenv("TUNER_SIMULATOR_SCENARIO");
    FILE* in = file != nullptr ? std::fopen(file, "r") : nullptr;
    if (in == nullptr) {
        return scenario;
    }
    scenario.Loaded = true;
    char line[1024];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        line[std::strcspn(line, "\r\n")] = '\0';
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword.empty() || keyword[0] == '#') {
            continue;
        }
        if (keyword == "no-set") {
            scenario.NoSet = true;
            continue;
        }
        Device device;
        std::string faults;
        words >> std::hex >> device.Vendor >> device.Product >> faults >> std::ws;
        std::getline(words, device.Path);
        if (keyword != "device" || !words.eof() || device.Path.empty() || !ParseFaults(faults, device)) {
            std::fprintf(stderr, "simulator: cannot read scenario line: %s\n", line);
            scenario.Loaded = false;
            break;
        }
        scenario.Devices.push_back(device);
    }
    std::fclose(in);
    return scenario;
}

}  // namespace simulator
