// Two deliverables loaded into one process, each its own copy of the plug-in, called from many
// threads at once, as a host with plug-ins for both outputs may do.

#include "StandinFixture.h"
#include "TunerProperties.h"

#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <thread>
#include <utility>
#include <vector>

namespace {

typedef std::int32_t (*SetTunerFrequencyFn)(std::uint32_t);
typedef std::int32_t (*TunerGetPropertiesFn)(TunerProperties*);

struct LoadedPlugin {
    void* Library = nullptr;
    SetTunerFrequencyFn SetTunerFrequency = nullptr;
    TunerGetPropertiesFn TunerGetProperties = nullptr;
};

LoadedPlugin Load(const char* path)
{
    LoadedPlugin plugin;
    plugin.Library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (plugin.Library == nullptr) {
        ADD_FAILURE() << dlerror();
        return plugin;
    }
    plugin.SetTunerFrequency = reinterpret_cast<SetTunerFrequencyFn>(dlsym(plugin.Library, "SetTunerFrequency"));
    plugin.TunerGetProperties = reinterpret_cast<TunerGetPropertiesFn>(dlsym(plugin.Library, "TunerGetProperties"));
    EXPECT_NE(plugin.SetTunerFrequency, nullptr);
    EXPECT_NE(plugin.TunerGetProperties, nullptr);
    return plugin;
}

class TwoDeliverables : public StandinTest {
protected:
    void SetUp() override
    {
        first = Load(DOVRANE_MODULE);
        second = Load(DOVRANE2_MODULE);
        ASSERT_TRUE(first.SetTunerFrequency && second.SetTunerFrequency);
    }
    void TearDown() override
    {
        StandinTest::TearDown();
        for (LoadedPlugin* plugin : {&first, &second}) {
            if (plugin->Library != nullptr) {
                dlclose(plugin->Library);
            }
        }
    }
    LoadedPlugin first;   // Dovrane: first output, Sky+
    LoadedPlugin second;  // Dovrane2: second output, Sky+
};

TEST_F(TwoDeliverables, EachKeepsItsOwnConstants)
{
    TunerProperties a;
    TunerProperties b;
    std::memset(&a, 0, sizeof a);
    std::memset(&b, 0, sizeof b);
    first.TunerGetProperties(&a);
    second.TunerGetProperties(&b);
    EXPECT_STREQ(a.DisplayName, "Dovrane");
    EXPECT_STREQ(b.DisplayName, "Dovrane (2nd Output)");
}

TEST_F(TwoDeliverables, ConcurrentCallsSendWholeReportsInOrder)
{
    standin::Install(OneTransmitter());
    constexpr int Threads = 8;
    constexpr int CallsPerThread = 40;
    std::map<std::pair<int, std::uint32_t>, int> expected;  // (output selector, channel) -> calls
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        for (int i = 0; i < CallsPerThread; ++i) {
            const bool useFirst = (t + i) % 2 == 0;
            ++expected[{useFirst ? 0x30 : 0x31, static_cast<std::uint32_t>((t * CallsPerThread + i) * 7 % 1000)}];
        }
        threads.emplace_back([this, t] {
            for (int i = 0; i < CallsPerThread; ++i) {
                const bool useFirst = (t + i) % 2 == 0;
                const auto channel = static_cast<std::uint32_t>((t * CallsPerThread + i) * 7 % 1000);
                EXPECT_EQ((useFirst ? first : second).SetTunerFrequency(channel), 1);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    // Each call opened the device once: its reports, in the order written, are one sequence.
    std::map<std::uintptr_t, std::vector<std::vector<std::uint8_t>>> byOpen;
    for (const standin::Write& write : standin::Writes()) {
        byOpen[write.Handle].push_back(write.Bytes);
    }
    std::map<std::pair<int, std::uint32_t>, int> received;
    for (const auto& open : byOpen) {
        const auto& reports = open.second;
        ASSERT_EQ(reports.size(), 4u);
        const std::uint8_t selector = reports[0].at(1);
        std::uint32_t channel = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::vector<std::uint8_t> expectedShape = {0x00, selector, 0x0C, reports[k].at(3), 0x7A, 0x7A,
                                                             0x7A, 0x7A, 0x7A};
            ASSERT_EQ(reports[k], expectedShape) << "a report arrived torn or mixed";
            if (k == 0) {
                ASSERT_EQ(reports[k][3], 0x80);
            } else {
                ASSERT_LE(reports[k][3], 9);
                channel = channel * 10 + reports[k][3];
            }
        }
        ++received[{selector, channel}];
    }
    EXPECT_EQ(received, expected);
}

}  // namespace
