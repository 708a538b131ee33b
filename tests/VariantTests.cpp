// One deliverable's constants as the host and the transmitter see them: its properties record
// and the bytes of its reports. Built once per deliverable; TUNER_VARIANT_NAME says which.

#include "StandinFixture.h"
#include "TunerPlugin.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Expected {
    const char* Name;
    const char* DisplayName;
    const char* Description;
    const char* LeadInReport;
    const char* UnitsSevenReport;
};

const Expected Dovrane2 = {"Dovrane2", "Dovrane (2nd Output)",
                           "Kestrova tuner driver for a Sky+ digibox using output #2.",
                           "00 31 0C 80 7A 7A 7A 7A 7A", "00 31 0C 07 7A 7A 7A 7A 7A"};

const Expected Deliverables[] = {
    {"Dovrane", "Dovrane", "Kestrova tuner driver for a Sky+ digibox.", "00 30 0C 80 7A 7A 7A 7A 7A",
     "00 30 0C 07 7A 7A 7A 7A 7A"},
    Dovrane2,
    {"Tarrik2", "Tarrik (2nd Output)", "Kestrova tuner driver for a Sky digibox using output #2.",
     "00 31 00 80 7A 7A 7A 7A 7A", "00 31 00 07 7A 7A 7A 7A 7A"},
    // Tarrik is Dovrane2 under another file name.
    {"Tarrik", Dovrane2.DisplayName, Dovrane2.Description, Dovrane2.LeadInReport, Dovrane2.UnitsSevenReport},
};

const Expected& ThisDeliverable()
{
    for (const Expected& e : Deliverables) {
        if (std::strcmp(e.Name, TUNER_VARIANT_NAME) == 0) {
            return e;
        }
    }
    ADD_FAILURE() << "no expectations for " << TUNER_VARIANT_NAME;
    return Deliverables[0];
}

// A record as the host might pass it: every byte set to a pattern that no string contains.
TunerProperties Patterned()
{
    TunerProperties record;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) {
        bytes[i] = static_cast<unsigned char>(0xA0 + i % 7);
    }
    return record;
}

// What the record must read afterwards: the words and strings over the pattern, nothing else.
TunerProperties ExpectedRecord(const Expected& e)
{
    TunerProperties record = Patterned();
    record.FirstWord = 2;
    record.SecondWord = 1;
    std::memcpy(record.DisplayName, e.DisplayName, std::strlen(e.DisplayName) + 1);
    std::memcpy(record.Description, e.Description, std::strlen(e.Description) + 1);
    return record;
}

std::vector<unsigned char> Bytes(const TunerProperties& record)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    return std::vector<unsigned char>(p, p + sizeof record);
}

using Properties = StandinTest;

TEST_F(Properties, FillsWordsAndStringsAndLeavesTheRestOfEachFieldAlone)
{
    TunerProperties record = Patterned();
    EXPECT_EQ(TunerGetProperties(&record), 1);
    EXPECT_EQ(record.FirstWord, 2);
    EXPECT_EQ(record.SecondWord, 1);
    EXPECT_STREQ(record.DisplayName, ThisDeliverable().DisplayName);
    EXPECT_STREQ(record.Description, ThisDeliverable().Description);
    EXPECT_EQ(Bytes(record), Bytes(ExpectedRecord(ThisDeliverable())));
}

TEST_F(Properties, RepeatedCallsBeforeAndAfterAChannelChangeGiveTheSameBytes)
{
    standin::Install(OneTransmitter());
    const std::vector<unsigned char> expected = Bytes(ExpectedRecord(ThisDeliverable()));
    for (int round = 0; round < 3; ++round) {
        TunerProperties record = Patterned();
        EXPECT_EQ(TunerGetProperties(&record), 1);
        EXPECT_EQ(Bytes(record), expected) << "round " << round;
        EXPECT_EQ(SetTunerFrequency(100), 1);
    }
    // Properties touch no device.
    EXPECT_EQ(standin::Writes().size(), 12u);
}

TEST_F(Properties, NullRecordIsIgnored)
{
    EXPECT_EQ(TunerGetProperties(nullptr), 1);
}

using Reports = StandinTest;

TEST_F(Reports, CarryTheDeliverablesOutputSelectorAndBoxCode)
{
    standin::Install(OneTransmitter());
    EXPECT_EQ(SetTunerFrequency(7), 1);
    const Expected& e = ThisDeliverable();
    const std::string lead = e.LeadInReport;
    const std::string zero = lead.substr(0, 9) + "00" + lead.substr(11);
    EXPECT_EQ(WrittenReports(), (std::vector<std::string>{lead, zero, zero, e.UnitsSevenReport}));
}

}  // namespace
