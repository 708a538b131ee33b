// The keys sent for any 32-bit channel number, against a reference computed another way: the
// last three characters of the number's decimal text, zero-padded.

#include "StandinFixture.h"
#include "TunerPlugin.h"

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ReferenceKeys(std::uint32_t channel)
{
    const std::string text = "00" + std::to_string(channel);
    const std::string last = text.substr(text.size() - 3);
    std::vector<std::string> keys = {"80"};
    for (char digit : last) {
        keys.push_back(std::string("0") + digit);
    }
    return keys;
}

std::vector<std::string> SentKeys(std::uint32_t channel)
{
    standin::Install(OneTransmitter());
    EXPECT_EQ(SetTunerFrequency(channel), 1);
    std::vector<std::string> keys;
    for (const standin::Write& write : standin::Writes()) {
        keys.push_back(HexBytes({write.Bytes.at(3)}));
    }
    return keys;
}

using ChannelNumbers = StandinTest;

TEST_F(ChannelNumbers, BoundariesMatchTheDecimalText)
{
    const std::uint32_t max = std::numeric_limits<std::uint32_t>::max();
    for (std::uint32_t channel : {0u, 1u, 9u, 10u, 99u, 100u, 999u, 1000u, 1001u, 65535u, 65536u, 2147483647u,
                                  2147483648u, max - 1, max}) {
        EXPECT_EQ(SentKeys(channel), ReferenceKeys(channel)) << channel;
    }
}

TEST_F(ChannelNumbers, SeededRandomNumbersMatchTheDecimalText)
{
    std::mt19937 random(20261211);
    std::uniform_int_distribution<std::uint32_t> any(0, std::numeric_limits<std::uint32_t>::max());
    for (int i = 0; i < 10000; ++i) {
        const std::uint32_t channel = any(random);
        ASSERT_EQ(SentKeys(channel), ReferenceKeys(channel)) << channel;
    }
}

}  // namespace
