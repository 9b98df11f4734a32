// vela-demo: the application on a virtual Wdx, for anyone without a device at hand. One bridge
// is plugged in at start-up, the device holds a plausible set-up and its meters move.

#include "VirtualWdx.h"

#include "app/VelaApplication.h"

namespace {
VirtualWdx::EqBand band(std::uint8_t type, std::uint8_t frequency, std::uint8_t gain, std::uint8_t q)
{
    return {std::uint8_t(0xC0 | type), frequency, gain, q};   // used and enabled
}

void setUpShow(VirtualWdx::DeviceState &s)
{
    constexpr std::uint8_t highPass = 2, bell = 1, highShelf = 4;
    s.outputGains = {{40, 34, 40}};
    s.frontPanelGains = {{52, 44, 52}};
    s.outputDelays = {{0, 30, 0}};
    s.preProcessingPatches = {{0x05, 0x0A}};
    s.eqs[0].enabled = true;
    s.eqs[0].bands[0] = band(highPass, 12, 36, 23);   // 40 Hz
    s.eqs[0].bands[1] = band(bell, 44, 30, 17);       // 250 Hz, -3 dB
    s.eqs[0].bands[2] = band(highShelf, 104, 40, 23); // 8 kHz, +2 dB
    s.eqs[1].enabled = true;
    s.eqs[1].bands[0] = band(highPass, 12, 36, 23);
    s.eqs[1].bands[1] = band(bell, 80, 32, 14);       // 2 kHz, -2 dB
    s.compressors[0] = {3, 2, 108, true};
    s.compressors[1] = {5, 2, 96, true};
    s.compressors[2] = {3, 2, 108, true};
    s.mainMode = 1;
    s.metersMoving = true;
}
} // namespace

int main(int argc, char *argv[])
{
    VirtualWdx::reset();
    VirtualWdx::update(setUpShow);
    VirtualWdx::plug();
    return runVela(argc, argv);
}
