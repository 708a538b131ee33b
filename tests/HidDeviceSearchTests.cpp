// The search for a HID interface by vendor and product numbers.

#include "HidDeviceSearch.h"
#include "StandinFixture.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using standin::HidInterface;
using standin::Transmitter;

const char* const KeyboardPath = "\\\\?\\hid#kbd";
const char* const FirstPath = "\\\\?\\hid#tx1";
const char* const SecondPath = "\\\\?\\hid#tx2";

HidInterface Keyboard()
{
    return standin::Device(KeyboardPath, 0x046D, 0xC31C);
}

// Runs one search and releases what it returned, so that the fixture sees only its leftovers.
bool Search(std::int32_t vendor = 0x6666, std::int32_t product = 0xF100)
{
    const HANDLE device = OpenHidDevice(vendor, product);
    if (device == InvalidDevice) {
        return false;
    }
    CloseHandle(device);
    return true;
}

using HidDeviceSearch = StandinTest;

TEST_F(HidDeviceSearch, MakesExactlyTheCallsOfTheSearchWithTheirArguments)
{
    standin::Scenario scenario;
    scenario.Interfaces = {Keyboard(), Transmitter(FirstPath), Transmitter(SecondPath)};
    standin::Install(scenario);

    const HANDLE device = OpenHidDevice(0x6666, 0xF100);
    ASSERT_NE(device, InvalidDevice);
    const std::vector<std::string> expected = {
        "HidD_GetHidGuid",
        "SetupDiGetClassDevsA(hid, null, null, 0x12)",
        "SetupDiEnumDeviceInterfaces(set, null, hid, 0)",
        "SetupDiGetDeviceInterfaceDetailA(set, #0, null, 0, size, null)",
        "HeapAlloc(16)",
        "SetupDiGetDeviceInterfaceDetailA(set, #0, detail, 16, null, null)",
        "CreateFileA(\\\\?\\hid#kbd, 0x0, 3, null, 3, 0x0, null)",
        "HidD_GetAttributes(query:\\\\?\\hid#kbd)",
        "CloseHandle(query:\\\\?\\hid#kbd)",
        "HeapFree",
        "SetupDiEnumDeviceInterfaces(set, null, hid, 1)",
        "SetupDiGetDeviceInterfaceDetailA(set, #1, null, 0, size, null)",
        "HeapAlloc(16)",
        "SetupDiGetDeviceInterfaceDetailA(set, #1, detail, 16, null, null)",
        "CreateFileA(\\\\?\\hid#tx1, 0x0, 3, null, 3, 0x0, null)",
        "HidD_GetAttributes(query:\\\\?\\hid#tx1)",
        "CreateFileA(\\\\?\\hid#tx1, 0x40000000, 3, null, 3, 0x0, null)",
        "CloseHandle(query:\\\\?\\hid#tx1)",
        "HeapFree",
        "SetupDiDestroyDeviceInfoList(set)",
    };
    EXPECT_EQ(standin::Calls(), expected);
    CloseHandle(device);
}

struct SearchCase {
    const char* Name;
    standin::Scenario Scene;
    std::int32_t Vendor;
    std::int32_t Product;
    std::vector<std::string> ExpectedWriteOpens;
    bool ExpectedFound;
};

void PrintTo(const SearchCase& c, std::ostream* out)
{
    *out << c.Name;
}

HidInterface With(HidInterface device, void (*fault)(HidInterface&))
{
    fault(device);
    return device;
}

std::vector<SearchCase> SearchCases()
{
    standin::Scenario noSet = Devices({Transmitter(FirstPath)});
    noSet.SetFails = true;
    return {
        {"NoHidDevice", Devices({}), 0x6666, 0xF100, {}, false},
        {"SetCannotBeBuilt", noSet, 0x6666, 0xF100, {}, false},
        {"OnlyOtherDevices", Devices({Keyboard()}), 0x6666, 0xF100, {}, false},
        {"FirstMatchWins", Devices({Keyboard(), Transmitter(FirstPath), Transmitter(SecondPath)}), 0x6666, 0xF100,
         {FirstPath}, true},
        {"SameVendorOtherProductPassedOver",
         Devices({standin::Device(KeyboardPath, 0x6666, 0xF101), Transmitter(SecondPath)}), 0x6666, 0xF100,
         {SecondPath}, true},
        {"FailedWriteOpenEndsTheSearch",
         Devices({With(Transmitter(FirstPath), [](HidInterface& d) { d.WriteOpenFails = true; }),
                  Transmitter(SecondPath)}),
         0x6666, 0xF100, {FirstPath}, false},
        {"VendorAbove16BitsNeverMatches", Devices({Transmitter(FirstPath)}), 0x16666, 0xF100, {}, false},
        {"ProductAbove16BitsNeverMatches", Devices({Transmitter(FirstPath)}), 0x6666, 0x1F100, {}, false},
        {"QueryOpenFailureSkipsTheInterface",
         Devices({With(Transmitter(FirstPath), [](HidInterface& d) { d.QueryOpenFails = true; }),
                  Transmitter(SecondPath)}),
         0x6666, 0xF100, {SecondPath}, true},
        {"SizeQueryReportingNothingSkipsTheInterface",
         Devices({With(Transmitter(FirstPath), [](HidInterface& d) { d.ReportedSize = 0; }),
                  Transmitter(SecondPath)}),
         0x6666, 0xF100, {SecondPath}, true},
        {"SizeBelowTheFixedPartSkipsTheInterface",
         Devices({With(Transmitter(FirstPath), [](HidInterface& d) { d.ReportedSize = 3; }),
                  Transmitter(SecondPath)}),
         0x6666, 0xF100, {SecondPath}, true},
        {"SizeTooSmallForThePathSkipsTheInterface",
         Devices({With(Transmitter(FirstPath), [](HidInterface& d) { d.ReportedSize = 6; }),
                  Transmitter(SecondPath)}),
         0x6666, 0xF100, {SecondPath}, true},
        {"DetailFetchFailureSkipsTheInterface",
         Devices({With(Transmitter(FirstPath), [](HidInterface& d) { d.DetailFetchFails = true; }),
                  Transmitter(SecondPath)}),
         0x6666, 0xF100, {SecondPath}, true},
        {"UnreadableAttributesSkipTheInterface",
         Devices({With(Transmitter(FirstPath), [](HidInterface& d) { d.AttributesFail = true; }),
                  Transmitter(SecondPath)}),
         0x6666, 0xF100, {SecondPath}, true},
    };
}

class SearchOutcome : public StandinTest, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(SearchOutcome, OpensOnlyTheFirstMatchingInterfaceAndReleasesTheRest)
{
    const SearchCase& c = GetParam();
    standin::Install(c.Scene);
    EXPECT_EQ(Search(c.Vendor, c.Product), c.ExpectedFound);
    EXPECT_EQ(WriteOpens(), c.ExpectedWriteOpens);
}

INSTANTIATE_TEST_SUITE_P(Cases, SearchOutcome, ::testing::ValuesIn(SearchCases()),
                         [](const ::testing::TestParamInfo<SearchCase>& param) { return param.param.Name; });

TEST_F(HidDeviceSearch, SetThatCannotBeBuiltIsNeitherEnumeratedNorDestroyed)
{
    standin::Scenario scenario = Devices({Transmitter(FirstPath)});
    scenario.SetFails = true;
    standin::Install(scenario);
    EXPECT_FALSE(Search());
    EXPECT_EQ(standin::Calls(),
              (std::vector<std::string>{"HidD_GetHidGuid", "SetupDiGetClassDevsA(hid, null, null, 0x12)"}));
}

TEST_F(HidDeviceSearch, PassedOverDeviceHasItsQueryHandleClosed)
{
    standin::Install(Devices({standin::Device(KeyboardPath, 0x6666, 0xF101)}));
    EXPECT_FALSE(Search());
    const std::vector<std::string> calls = standin::Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "CloseHandle(query:\\\\?\\hid#kbd)"), calls.end());
}

}  // namespace
