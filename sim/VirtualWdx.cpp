#include "VirtualWdx.h"
#include "SimCore.h"

#include <cstdio>

namespace VirtualWdx {

using detail::Sim;

namespace {
// The simulator's lock, with the simulation brought up to now.
struct Locked
{
    Locked() : sim(Sim::get()), lock(sim.mutex), now(Clock::now()) { sim.advance(now); }
    Sim &sim;
    std::unique_lock<std::mutex> lock;
    Clock::time_point now;
};
} // namespace

Timing Timing::instant()
{
    Timing t;
    t.baud = 0;
    t.latencyUs = 0;
    t.usbIntervalUs = 0;
    t.rebootLeaveMs = 50;
    t.rebootAbsentMs = 200;
    t.bootWindowMs = 1500;
    t.mainApplyMs = 100;
    t.dspBusyMs = 100;
    t.presetBusyMs = 50;
    t.bridgeResetMs = 100;
    return t;
}

void reset()
{
    Locked l;
    l.sim.resetAll();
}

void plug(std::uint16_t vendorId, std::uint16_t productId)
{
    Locked l;
    if (l.sim.cable)
        return;
    ++l.sim.cableOrders;
    l.sim.vendorId = vendorId;
    l.sim.productId = productId;
    l.sim.setCable(l.now, true);
}

void unplug()
{
    Locked l;
    ++l.sim.cableOrders;
    l.sim.setCable(l.now, false);
}

void replugAfter(int ms)
{
    Locked l;
    Sim &sim = l.sim;
    const std::uint64_t order = ++sim.cableOrders;
    sim.setCable(l.now, false);
    sim.schedule(l.now + std::chrono::milliseconds(ms), [&sim, order](Clock::time_point at) {
        if (order == sim.cableOrders)
            sim.setCable(at, true);
    });
    sim.notify();
}

void reboot()
{
    Locked l;
    l.sim.device->restart(l.now, l.sim.timing.rebootLeaveMs, "reboot()");
    l.sim.notify();
}

Timing timing()
{
    Locked l;
    return l.sim.timing;
}

void setTiming(const Timing &timing)
{
    Locked l;
    l.sim.timing = timing;
    l.sim.notify();
}

Faults faults()
{
    Locked l;
    return l.sim.faults;
}

void setFaults(const Faults &faults)
{
    Locked l;
    l.sim.faults = faults;
    l.sim.reseed();
    l.sim.notify();
}

void addAnswerRule(const AnswerRule &rule)
{
    Locked l;
    l.sim.rules.push_back(rule);
}

void clearAnswerRules()
{
    Locked l;
    l.sim.rules.clear();
}

DeviceState state()
{
    Locked l;
    DeviceState s = l.sim.device->state;
    if (l.sim.device->bootActive()) {
        s.inputMeters = {};
        s.outputMeters = {};
        s.compressorMeters = {};
    } else {
        l.sim.device->meters(l.now, s.inputMeters, s.outputMeters, s.compressorMeters);
    }
    return s;
}

void setState(const DeviceState &state)
{
    Locked l;
    l.sim.device->state = state;
}

void update(const std::function<void(DeviceState &)> &edit)
{
    Locked l;
    edit(l.sim.device->state);
}

Status status()
{
    Locked l;
    const Sim &sim = l.sim;
    Status s;
    s.plugged = sim.cable;
    s.enumerated = sim.present();
    s.vendorId = sim.vendorId;
    s.productId = sim.productId;
    s.uartEnabled = sim.uartEnabled;
    for (const hid_device *dev : sim.handles)
        s.openHandles += sim.alive(dev) ? 1 : 0;
    s.mode = sim.device->reportedMode();
    s.bootLocked = sim.device->bootLocked;
    s.busy = sim.device->busyAt(l.now);
    s.mainFwState = sim.device->channels[0].state;
    s.dspFwState = sim.device->channels[1].state;
    s.requestsReceived = sim.requestsReceived;
    s.answersSent = sim.answersSent;
    return s;
}

Image image(ImageKind kind)
{
    Locked l;
    return l.sim.device->images[int(kind)];
}

void injectFromDevice(const Bytes &bytes)
{
    Locked l;
    Sim &sim = l.sim;
    WireEntry e;
    e.direction = Direction::FromDevice;
    e.flags = Injected;
    e.bytes = bytes;
    detail::Frame f;
    if (detail::decode(bytes, f)) {
        e.kind = Kind::Frame;
        e.cmd = f.cmd;
        e.op = f.op;
        e.data = f.data;
    } else {
        e.kind = Kind::Noise;
    }
    e.begin = sim.lineStart(l.now);
    if (sim.present() && sim.uartEnabled) {
        sim.putOnLine(l.now, bytes);
        e.end = sim.rxLineFree;
    } else {
        e.end = e.begin;
        e.flags |= Lost;
        e.text = sim.present() ? "UART disabled" : "bridge not on the bus";
    }
    sim.logWire(std::move(e));
    sim.notify();
}

std::vector<WireEntry> wireLog()
{
    Locked l;
    return {l.sim.wire.begin(), l.sim.wire.end()};
}

std::vector<WireEntry> frames(Direction direction, int cmd, int op, int subCode)
{
    Locked l;
    std::vector<WireEntry> out;
    for (const WireEntry &e : l.sim.wire) {
        if (e.kind != Kind::Frame || e.direction != direction || (e.flags & (Dropped | Lost)))
            continue;
        if ((cmd >= 0 && e.cmd != cmd) || (op >= 0 && e.op != op) || (subCode >= 0 && e.subCode() != subCode))
            continue;
        out.push_back(e);
    }
    return out;
}

std::vector<UsbEvent> usbLog()
{
    Locked l;
    return {l.sim.usb.begin(), l.sim.usb.end()};
}

int crowdedFrames()
{
    Locked l;
    return l.sim.crowded;
}

void clearLogs()
{
    Locked l;
    l.sim.wire.clear();
    l.sim.usb.clear();
    l.sim.crowded = 0;
}

std::string toHex(const Bytes &bytes)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        if (i)
            out += ' ';
        out += buf;
    }
    return out;
}

Bytes frame(std::uint8_t cmd, std::uint8_t op, const Bytes &data)
{
    detail::Frame f;
    f.cmd = cmd;
    f.op = op;
    f.data = data;
    return detail::encode(f);
}

} // namespace VirtualWdx
