// Every platform call of a channel change that can fail is made to fail, one run each: the
// plug-in must still return 1, misuse nothing and leave nothing open or allocated.

#include "StandinFixture.h"
#include "TunerPlugin.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using standin::Transmitter;

struct InjectionScenario {
    const char* Name;
    standin::Scenario Scene;
};

std::vector<InjectionScenario> InjectionScenarios()
{
    return {
        {"NoDevice", Devices({})},
        {"TransmitterAlone", Devices({Transmitter("\\\\?\\hid#tx")})},
        {"MismatchThenTransmitter",
         Devices({standin::Device("\\\\?\\hid#other", 0x6666, 0xF101), Transmitter("\\\\?\\hid#tx")})},
        {"TwoTransmitters", Devices({Transmitter("\\\\?\\hid#tx1"), Transmitter("\\\\?\\hid#tx2")})},
    };
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool IsTransmitter(const standin::Scenario& scene, const std::string& path)
{
    for (const standin::HidInterface& device : scene.Interfaces) {
        if (device.Path == path) {
            return device.Vendor == standin::TransmitterVendor && device.Product == standin::TransmitterProduct;
        }
    }
    return false;
}

// What must hold after any one channel change, whatever failed in it.
void ExpectSoundOutcome(const standin::Scenario& scene, const std::string& injected)
{
    SCOPED_TRACE("failing: " + injected);
    EXPECT_EQ(SetTunerFrequency(4711), 1);
    // No misuse (a write to an interface whose numbers were not read, a handle closed twice,
    // a record with a wrong size field) and nothing left open or allocated.
    EXPECT_EQ(standin::Problems(), std::vector<std::string>{});

    const std::vector<std::string> writeOpens = WriteOpens();
    const std::string opened = writeOpens.empty() ? std::string() : writeOpens.back();
    int writeCloses = 0;
    std::vector<std::string> writeCalls;
    for (const std::string& call : standin::Calls()) {
        writeCloses += StartsWith(call, "CloseHandle(write:");
        if (StartsWith(call, "WriteFile(")) {
            writeCalls.push_back(call);
        }
    }
    EXPECT_LE(writeCloses, 1);
    EXPECT_LE(writeOpens.size(), 1u);
    if (writeOpens.size() == 1) {
        // Only an interface whose numbers were read and matched is opened for writing.
        EXPECT_TRUE(IsTransmitter(scene, opened)) << opened;
    }
    if (writeCloses == 1) {
        // All four keys were attempted, in order, on the first interface opened for writing.
        EXPECT_EQ(writeCalls.size(), 4u);
        const char* keys[] = {"80", "07", "01", "01"};
        std::size_t next = 0;
        for (const standin::Write& write : standin::Writes()) {
            EXPECT_EQ(write.Path, opened);
            while (next < 4 && HexBytes({write.Bytes[3]}) != keys[next]) {
                ++next;
            }
            EXPECT_LT(next, 4u) << "report out of order: " << HexBytes(write.Bytes);
            ++next;
        }
    } else {
        EXPECT_EQ(writeCalls.size(), 0u);
    }
}

TEST(FaultInjection, EveryFallibleCallFailingInTurnLeavesNothingBehind)
{
    for (const InjectionScenario& scenario : InjectionScenarios()) {
        SCOPED_TRACE(scenario.Name);
        standin::Install(scenario.Scene);
        ExpectSoundOutcome(scenario.Scene, "nothing");
        const std::vector<std::string> points = standin::FallibleCalls();
        std::printf("%-24s %zu injection points\n", scenario.Name, points.size());
        ASSERT_FALSE(points.empty());
        for (std::size_t k = 0; k < points.size(); ++k) {
            standin::Scenario failing = scenario.Scene;
            failing.FailCall = static_cast<int>(k);
            standin::Install(failing);
            ExpectSoundOutcome(scenario.Scene, points[k]);
            ASSERT_GT(standin::FallibleCalls().size(), k) << "the injected call was never made";
        }
    }
}

}  // namespace
