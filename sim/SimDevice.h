#pragma once

// The Wdx device behind the virtual bridge: its state, its answers to every request of the
// protocol, its firmware channels and its life cycle (boot loader, main firmware, restarts).

#include "SimFrame.h"

#include <optional>
#include <string>

namespace VirtualWdx::detail {

class Sim;

class Device
{
public:
    explicit Device(Sim &sim);

    struct Outcome
    {
        std::optional<Frame> answer;
        std::string why;          // when there is no answer
    };

    // A whole request arrived at time t.
    Outcome handle(const Frame &request, Clock::time_point t);
    void restart(Clock::time_point t, int leaveAfterMs, const char *why);
    // The cable was pulled: a download in progress is abandoned.
    void linkLost(Clock::time_point t);

    bool bootActive() const;
    bool busyAt(Clock::time_point t) const { return m_busyUntil > t; }
    RunMode reportedMode() const;
    // The values a meter read answers at time t.
    void meters(Clock::time_point t, std::array<std::uint8_t, 6> &in, std::array<std::uint8_t, 3> &out,
                std::array<std::uint8_t, 3> &comp) const;

    DeviceState state;
    RunMode mode = RunMode::Main;
    bool bootLocked = false;
    Image images[4];

    struct Channel
    {
        std::uint8_t state = 0;       // 0 idle, 1/2/3 a download is open
        std::map<std::uint8_t, Bytes> blocks;
        std::size_t received = 0;     // data bytes of the blocks written since opening
    };
    Channel channels[2];              // 0 main, 1 DSP

private:
    Frame ack(const Frame &request, Bytes data) const;
    Frame nack(const Frame &request) const;
    Outcome deviceInfo(const Frame &r, Clock::time_point t);
    Outcome firmware(const Frame &r, Clock::time_point t);
    Outcome settings(const Frame &r);
    Outcome security(const Frame &r, Clock::time_point t);
    void closeDownload(int channel, std::uint8_t closing, const Frame &r, Clock::time_point t);
    void apply(ImageKind kind, Image image, Clock::time_point at);
    std::string versionOf(const Image &image) const;

    Sim &m_sim;
    std::uint64_t m_session = 0;      // bumps on every restart; stale timers check it
    Clock::time_point m_busyUntil{};
    bool m_holdsBridge = false;       // this device's restart keeps the bridge off the bus
    Clock::time_point m_epoch;
};

} // namespace VirtualWdx::detail
