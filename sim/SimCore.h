#pragma once

// The simulator's core: one bridge, the two UART directions, a timeline of device events, and
// the logs. It is a discrete-event simulation evaluated lazily: every entry point (a hidapi call
// or a control call) first runs all events due by "now" under the one lock, and callers that must
// wait (a read with a time-out, a write into a full FIFO) sleep until the next event that can
// change their answer. No thread of its own is needed, and every time stamp is the simulated time
// at which the thing happened, not the time somebody looked.

#include "SimDevice.h"

#include <hidapi/hidapi.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>

struct hid_device_
{
    std::uint64_t generation = 0;
    bool closed = false;
    bool nonBlocking = false;
    int inCalls = 0;                  // hidapi calls running on this handle
    std::atomic<const wchar_t *> error{nullptr}; // a static text; hid_error returns it
    hid_device_info *info = nullptr;
};

namespace VirtualWdx::detail {

using Time = Clock::time_point;
using Duration = Clock::duration;

class Sim
{
public:
    static Sim &get();

    std::mutex mutex;
    std::condition_variable changed;

    // Runs every event due by `now`; must be called with the lock held.
    void advance(Time now);
    // The earliest pending event, Time::max() when there is none.
    Time nextEvent() const;
    void notify() { changed.notify_all(); }

    // Configuration
    Timing timing;
    Faults faults;
    bool chance(double p);
    void reseed() { m_random.seed(faults.seed); }
    int randomBelow(int n);
    Duration byteTime() const;
    Duration usbInterval() const { return std::chrono::microseconds(timing.usbIntervalUs); }
    Time gridCeil(Time t) const;

    // Bridge
    bool cable = false;
    int bridgeDown = 0;               // restarts holding the bridge off the bus (device, 0x40)
    std::uint64_t cableOrders = 0;    // bumps on every plug/unplug order; stale replugs check it
    std::uint16_t vendorId = kVendorId;
    std::uint16_t productId = kProductId;
    std::uint64_t generation = 1;     // bumps whenever the bridge leaves the bus
    bool uartEnabled = false;
    bool present() const { return cable && bridgeDown == 0; }
    bool alive(const hid_device *dev) const;
    void leaveBus(Time t, const std::string &why);
    void setCable(Time t, bool in);
    void setBridgeUp(Time t, bool up, const std::string &why);

    std::deque<TimedByte> toDevice;   // at: arrival at the device
    std::deque<TimedByte> toHost;     // at: arrival at the bridge
    Time txLineFree{};
    Time rxLineFree{};
    Time lastOut{};
    Time lastIn{};
    bool writing = false;             // one interrupt write at a time
    std::set<hid_device *> handles;

    // Device side
    std::unique_ptr<Device> device;
    FrameScanner scanner;
    void schedule(Time at, std::function<void(Time)> action);
    // The device sends an answer that it decided on at time t (latency and faults applied here).
    // `aimed`: the answer rule that took it; it then draws no random fault.
    void answer(Time t, Frame frame, std::optional<AnswerRule::Action> aimed = std::nullopt);
    void putOnLine(Time t, const Bytes &bytes);
    Time lineStart(Time t) const;

    std::vector<AnswerRule> rules;
    // The rule that takes the answer to `request`, its count used up; Override edits `answer`.
    std::optional<AnswerRule::Action> aim(const Frame &request, Frame &answer);
    Time lastRequestBegin{};
    bool anyRequest = false;
    int crowded = 0;

    // Logs
    std::deque<WireEntry> wire;
    std::deque<UsbEvent> usb;
    int requestsReceived = 0;
    int answersSent = 0;
    void logWire(WireEntry entry);
    void logEvent(Time t, const std::string &text);
    void logUsb(UsbEvent event);

    void resetAll();

private:
    Sim();
    void emit(Time t, Frame frame, std::optional<AnswerRule::Action> aimed);
    void deliver(const FrameScanner::Item &item);
    void onRequestFrame(const FrameScanner::Item &item);

    struct Key
    {
        Time at;
        std::uint64_t seq;
        bool operator<(const Key &o) const { return at < o.at || (at == o.at && seq < o.seq); }
    };
    std::map<Key, std::function<void(Time)>> m_actions;
    std::uint64_t m_seq = 0;
    std::mt19937 m_random;
};

} // namespace VirtualWdx::detail
