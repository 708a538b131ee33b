#include "TunerPlugin.h"

#include "KeyTransmitter.h"
#include "PluginVariant.h"

std::int32_t __cdecl SetTunerFrequency(std::uint32_t channelNumber)
{
    KeyTransmitter transmitter;
    if (transmitter.Open()) {
        // A failed write does not stop the sequence: the remaining keys are still tried.
        const std::uint8_t keys[] = {
            LeadInKey,
            static_cast<std::uint8_t>(channelNumber / 100 % 10),
            static_cast<std::uint8_t>(channelNumber / 10 % 10),
            static_cast<std::uint8_t>(channelNumber % 10),
        };
        for (std::uint8_t key : keys) {
            transmitter.SendKey(Variant.OutputSelector, Variant.BoxCode, key);
        }
    }
    return 1;
}

std::int32_t __cdecl TunerGetProperties(TunerProperties* properties)
{
    // A null record would fault inside the host's process.
    if (properties == nullptr) {
        return 1;
    }
    properties->FirstWord = 2;
    properties->SecondWord = 1;
    // Copies the text and its terminator and nothing more: the rest of the field keeps
    // what the host put there.
    lstrcpynA(properties->DisplayName, Variant.DisplayName, sizeof(properties->DisplayName));
    lstrcpynA(properties->Description, Variant.Description, sizeof(properties->Description));
    return 1;
}
