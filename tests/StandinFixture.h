// Test support: a fixture that installs a platform scenario and, after each test, requires that
// the plug-in misused nothing and left nothing open or allocated.
#pragma once

#include "PlatformModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class StandinTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(standin::Problems(), std::vector<std::string>{});
    }
};

inline std::string HexBytes(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

inline std::vector<std::string> WrittenReports()
{
    std::vector<std::string> reports;
    for (const standin::Write& write : standin::Writes()) {
        reports.push_back(HexBytes(write.Bytes));
    }
    return reports;
}

inline standin::Scenario Devices(std::vector<standin::HidInterface> interfaces)
{
    standin::Scenario scenario;
    scenario.Interfaces = std::move(interfaces);
    return scenario;
}

// The paths that were opened, or that an open was tried on, for writing.
inline std::vector<std::string> WriteOpens()
{
    std::vector<std::string> paths;
    for (const std::string& call : standin::Calls()) {
        const std::string::size_type access = call.find(", 0x40000000, ");
        if (call.rfind("CreateFileA(", 0) == 0 && access != std::string::npos) {
            paths.push_back(call.substr(12, access - 12));
        }
    }
    return paths;
}

inline standin::Scenario OneTransmitter()
{
    standin::Scenario scenario;
    scenario.Interfaces = {standin::Transmitter("\\\\?\\hid#vid_6666&pid_f100#1")};
    return scenario;
}
