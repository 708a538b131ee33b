// The channel change from the entry point to the key transmitter, on Dovrane's constants
// (first output, Sky+ box code).

#include "KeyTransmitter.h"
#include "StandinFixture.h"
#include "TunerPlugin.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Dovrane's report for one key, as the transmitter must receive it.
std::string DovraneReport(const char* key)
{
    return std::string("00 30 0C ") + key + " 7A 7A 7A 7A 7A";
}

int CountCalls(const std::string& prefix)
{
    const std::vector<std::string> calls = standin::Calls();
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return call.rfind(prefix, 0) == 0;
    }));
}

struct ChannelCase {
    std::uint32_t Channel;
    const char* Hundreds;
    const char* Tens;
    const char* Units;
};

void PrintTo(const ChannelCase& c, std::ostream* out)
{
    *out << c.Channel;
}

class ChannelDigits : public StandinTest, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(ChannelDigits, SendsLeadInThenTheLastThreeDigits)
{
    standin::Install(OneTransmitter());
    const ChannelCase& c = GetParam();

    EXPECT_EQ(SetTunerFrequency(c.Channel), 1);

    const std::vector<std::string> expected = {DovraneReport("80"), DovraneReport(c.Hundreds), DovraneReport(c.Tens),
                                               DovraneReport(c.Units)};
    EXPECT_EQ(WrittenReports(), expected);
    for (const standin::Write& write : standin::Writes()) {
        EXPECT_EQ(write.Path, OneTransmitter().Interfaces[0].Path);
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, ChannelDigits,
                         ::testing::Values(ChannelCase{0, "00", "00", "00"}, ChannelCase{7, "00", "00", "07"},
                                           ChannelCase{42, "00", "04", "02"}, ChannelCase{101, "01", "00", "01"},
                                           ChannelCase{999, "09", "09", "09"}, ChannelCase{1000, "00", "00", "00"},
                                           ChannelCase{1234, "02", "03", "04"},
                                           ChannelCase{2147483648u, "06", "04", "08"},
                                           ChannelCase{4294967295u, "02", "09", "05"}),
                         [](const ::testing::TestParamInfo<ChannelCase>& param) {
                             return "Channel" + std::to_string(param.param.Channel);
                         });

using ChannelChange = StandinTest;

TEST_F(ChannelChange, WithoutTransmitterWritesNothingAndReturnsOne)
{
    standin::Scenario scenario;
    scenario.Interfaces = {standin::Device("\\\\?\\hid#keyboard", 0x046D, 0xC31C)};
    standin::Install(scenario);

    EXPECT_EQ(SetTunerFrequency(123), 1);
    EXPECT_EQ(CountCalls("WriteFile"), 0);
    EXPECT_EQ(CountCalls("CreateFileA(\\\\?\\hid#keyboard, 0x40000000"), 0);
}

TEST_F(ChannelChange, TransmitterThatCannotBeOpenedForWritingGetsNoWrite)
{
    standin::Scenario scenario = OneTransmitter();
    scenario.Interfaces[0].WriteOpenFails = true;
    standin::Install(scenario);

    EXPECT_EQ(SetTunerFrequency(123), 1);
    EXPECT_EQ(CountCalls("WriteFile"), 0);
}

TEST_F(ChannelChange, FailedWriteMidSequenceStillAttemptsTheRemainingKeys)
{
    // The device goes away after the first two reports.
    standin::Scenario scenario = OneTransmitter();
    scenario.WritesFailFrom = 2;
    standin::Install(scenario);

    EXPECT_EQ(SetTunerFrequency(456), 1);
    EXPECT_EQ(CountCalls("WriteFile"), 4);
    EXPECT_EQ(WrittenReports(), (std::vector<std::string>{DovraneReport("80"), DovraneReport("04")}));
    EXPECT_EQ(CountCalls("CloseHandle(write:"), 1);
}

TEST_F(ChannelChange, EachCallFindsAndOpensTheDeviceAfresh)
{
    standin::Install(standin::Scenario{});
    EXPECT_EQ(SetTunerFrequency(1), 1);
    EXPECT_EQ(standin::Writes().size(), 0u);

    // Plugged in between two channel changes: the next call finds it.
    standin::Install(OneTransmitter());
    EXPECT_EQ(SetTunerFrequency(2), 1);
    EXPECT_EQ(standin::Writes().size(), 4u);
    EXPECT_EQ(SetTunerFrequency(3), 1);
    EXPECT_EQ(standin::Writes().size(), 8u);
    EXPECT_EQ(CountCalls("SetupDiGetClassDevsA"), 2);
    EXPECT_EQ(CountCalls("CloseHandle(write:"), 2);
}

using KeyTransmitterObject = StandinTest;

TEST_F(KeyTransmitterObject, ClosedTransmitterSendsNothing)
{
    standin::Install(OneTransmitter());
    KeyTransmitter transmitter;
    EXPECT_FALSE(transmitter.SendKey(0x30, 0x0C, LeadInKey));
    transmitter.Close();
    EXPECT_EQ(standin::Calls(), std::vector<std::string>{});
}

TEST_F(KeyTransmitterObject, OpensOnceAndClosesOnce)
{
    standin::Install(OneTransmitter());
    {
        KeyTransmitter transmitter;
        EXPECT_TRUE(transmitter.Open());
        EXPECT_TRUE(transmitter.Open());
        EXPECT_TRUE(transmitter.SendKey(0x31, 0x00, 0x09));
        transmitter.Close();
        EXPECT_FALSE(transmitter.SendKey(0x31, 0x00, 0x09));
        transmitter.Close();
    }
    EXPECT_EQ(CountCalls("SetupDiGetClassDevsA"), 1);
    EXPECT_EQ(CountCalls("CloseHandle(write:"), 1);
    EXPECT_EQ(WrittenReports(), std::vector<std::string>{"00 31 00 09 7A 7A 7A 7A 7A"});
}

TEST_F(KeyTransmitterObject, DestructorClosesAnOpenTransmitter)
{
    standin::Install(OneTransmitter());
    {
        KeyTransmitter transmitter;
        ASSERT_TRUE(transmitter.Open());
    }
    EXPECT_EQ(CountCalls("CloseHandle(write:"), 1);
}

TEST_F(KeyTransmitterObject, WriteIsOneSynchronousNineByteWriteWithACountVariable)
{
    standin::Install(OneTransmitter());
    EXPECT_EQ(SetTunerFrequency(5), 1);
    std::vector<std::string> writes;
    for (const std::string& call : standin::Calls()) {
        if (call.rfind("WriteFile", 0) == 0) {
            writes.push_back(call);
        }
    }
    const std::string expected = "WriteFile(write:" + OneTransmitter().Interfaces[0].Path + ", 9, count, null)";
    EXPECT_EQ(writes, std::vector<std::string>(4, expected));
}

}  // namespace
