#include "SimCore.h"

#include <algorithm>
#include <cstdio>

namespace VirtualWdx::detail {

namespace {
constexpr std::size_t kLogLimit = 200000;

std::string ids(std::uint16_t vid, std::uint16_t pid)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04x:%04x", vid, pid);
    return buf;
}
} // namespace

Sim &Sim::get()
{
    // Never destroyed: hidapi calls may still arrive from static destructors at exit.
    static Sim *sim = new Sim;
    return *sim;
}

Sim::Sim()
{
    device = std::make_unique<Device>(*this);
    m_random.seed(faults.seed);
}

void Sim::resetAll()
{
    ++generation;
    cable = false;
    bridgeDown = 0;
    ++cableOrders;
    vendorId = kVendorId;
    productId = kProductId;
    uartEnabled = false;
    toDevice.clear();
    toHost.clear();
    txLineFree = rxLineFree = lastOut = lastIn = Time{};
    writing = false;
    m_actions.clear();
    scanner.clear();
    timing = Timing();
    faults = Faults();
    m_random.seed(faults.seed);
    device = std::make_unique<Device>(*this);
    wire.clear();
    usb.clear();
    requestsReceived = 0;
    answersSent = 0;
    rules.clear();
    anyRequest = false;
    crowded = 0;
    notify();
}

bool Sim::chance(double p)
{
    if (p <= 0)
        return false;
    if (p >= 1)
        return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < p;
}

int Sim::randomBelow(int n)
{
    if (n <= 1)
        return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(m_random);
}

Duration Sim::byteTime() const
{
    if (timing.baud <= 0)
        return Duration::zero();
    const double ns = 1e9 * timing.bitsPerByte / timing.baud;
    return std::chrono::duration_cast<Duration>(std::chrono::nanoseconds(std::int64_t(ns + 0.5)));
}

Time Sim::gridCeil(Time t) const
{
    const Duration step = usbInterval();
    if (step <= Duration::zero())
        return t;
    const auto since = t.time_since_epoch();
    const auto k = (since.count() + step.count() - 1) / step.count();
    return Time(Duration(k * step.count()));
}

bool Sim::alive(const hid_device *dev) const
{
    return !dev->closed && present() && dev->generation == generation;
}

void Sim::schedule(Time at, std::function<void(Time)> action)
{
    m_actions.emplace(Key{at, m_seq++}, std::move(action));
}

Time Sim::nextEvent() const
{
    Time t = Time::max();
    if (!toDevice.empty())
        t = std::min(t, toDevice.front().at);
    if (!m_actions.empty())
        t = std::min(t, m_actions.begin()->first.at);
    if (scanner.holdsBytes())
        t = std::min(t, scanner.lastByteAt() + std::chrono::milliseconds(timing.frameGapMs) + Duration(1));
    return t;
}

void Sim::advance(Time now)
{
    std::vector<FrameScanner::Item> items;
    for (;;) {
        const Time byteAt = toDevice.empty() ? Time::max() : toDevice.front().at;
        const Time actionAt = m_actions.empty() ? Time::max() : m_actions.begin()->first.at;
        const Time gapAt = scanner.holdsBytes()
            ? scanner.lastByteAt() + std::chrono::milliseconds(timing.frameGapMs) + Duration(1)
            : Time::max();
        const Time t = std::min({byteAt, actionAt, gapAt});
        if (t > now)
            break;
        items.clear();
        if (actionAt == t) {
            auto it = m_actions.begin();
            auto action = std::move(it->second);
            m_actions.erase(it);
            action(t);
            continue;
        }
        if (gapAt == t && gapAt < byteAt) {
            scanner.flush(items);
        } else {
            const TimedByte b = toDevice.front();
            toDevice.pop_front();
            scanner.feed(b, items);
        }
        for (const auto &item : items)
            deliver(item);
    }
}

void Sim::deliver(const FrameScanner::Item &item)
{
    if (item.kind == Kind::Frame) {
        onRequestFrame(item);
        return;
    }
    WireEntry e;
    e.begin = item.begin;
    e.end = item.end;
    e.direction = Direction::ToDevice;
    e.kind = item.kind;
    e.bytes = item.bytes;
    if (item.kind == Kind::BadChecksum)
        e.text = "bad checksum, ignored";
    else if (item.kind == Kind::Incomplete)
        e.text = "incomplete frame dropped";
    else
        e.text = "skipped";
    logWire(std::move(e));
}

void Sim::onRequestFrame(const FrameScanner::Item &item)
{
    Frame request;
    decode(item.bytes, request);
    ++requestsReceived;
    WireEntry e;
    if (anyRequest && item.begin - lastRequestBegin < std::chrono::microseconds(timing.minRequestGapUs)) {
        e.flags |= Crowded;
        ++crowded;
    }
    anyRequest = true;
    lastRequestBegin = item.begin;
    e.begin = item.begin;
    e.end = item.end;
    e.direction = Direction::ToDevice;
    e.kind = Kind::Frame;
    e.bytes = item.bytes;
    e.cmd = request.cmd;
    e.op = request.op;
    e.data = request.data;
    logWire(std::move(e));
    WireEntry &logged = wire.back();   // deque: stays valid while entries are appended

    Device::Outcome outcome = device->handle(request, item.end);
    if (outcome.answer) {
        const std::optional<AnswerRule::Action> aimed = aim(request, *outcome.answer);
        answer(item.end, std::move(*outcome.answer), aimed);
    } else {
        logged.flags |= Unanswered;
        logged.text = outcome.why;
    }
    if (faults.unplugAfterFrames > 0 && --faults.unplugAfterFrames == 0) {
        logEvent(item.end, "unplugAfterFrames fault");
        setCable(item.end, false);
        if (faults.replugAfterMs >= 0) {
            const std::uint64_t order = ++cableOrders;
            schedule(item.end + std::chrono::milliseconds(faults.replugAfterMs), [this, order](Time at) {
                if (order != cableOrders)
                    return;
                logEvent(at, "replugAfterMs fault");
                setCable(at, true);
            });
        }
    }
}

std::optional<AnswerRule::Action> Sim::aim(const Frame &request, Frame &answer)
{
    const int sub = request.data.empty() ? -1 : request.data[0];
    for (AnswerRule &r : rules) {
        if (r.count == 0)
            continue;
        if ((r.cmd >= 0 && r.cmd != (request.cmd & 0x0F)) || (r.op >= 0 && r.op != request.op)
            || (r.subCode >= 0 && r.subCode != sub))
            continue;
        if (r.count > 0)
            --r.count;
        if (r.action == AnswerRule::Action::Override) {
            if (r.replyCmd >= 0)
                answer.cmd = std::uint8_t(r.replyCmd);
            if (r.replyOp >= 0)
                answer.op = std::uint8_t(r.replyOp);
            if (r.replaceData)
                answer.data = r.data;
        }
        return r.action;
    }
    return std::nullopt;
}

void Sim::answer(Time t, Frame frame, std::optional<AnswerRule::Action> aimed)
{
    // Jitter is drawn for every answer, aimed or not: the timing of the others must not shift.
    Duration delay = std::chrono::microseconds(timing.latencyUs);
    if (timing.latencyJitterUs > 0)
        delay += std::chrono::microseconds(randomBelow(timing.latencyJitterUs + 1));
    schedule(t + delay, [this, frame = std::move(frame), aimed](Time at) { emit(at, frame, aimed); });
}

Time Sim::lineStart(Time t) const
{
    return std::max(t, rxLineFree);
}

void Sim::putOnLine(Time t, const Bytes &bytes)
{
    const Duration step = byteTime();
    Time at = lineStart(t);
    for (std::uint8_t b : bytes) {
        at += step;
        toHost.push_back({at, b});
    }
    rxLineFree = at;
}

void Sim::emit(Time t, Frame frame, std::optional<AnswerRule::Action> aimed)
{
    using Action = AnswerRule::Action;
    WireEntry e;
    e.direction = Direction::FromDevice;
    e.kind = Kind::Frame;
    e.begin = e.end = t;
    if (aimed) {
        e.text = "answer rule";
        e.flags |= *aimed == Action::Drop ? Dropped
                 : *aimed == Action::ErrorBit ? ErrorBit
                 : *aimed == Action::CorruptChecksum ? CorruptChecksum : Overridden;
        if (*aimed == Action::ErrorBit)
            frame.cmd |= 0x40;
    } else if (chance(faults.dropReply)) {
        e.flags |= Dropped;
        e.text = "dropReply fault";
    } else if (chance(faults.errorBit)) {
        frame.cmd |= 0x40;
        e.flags |= ErrorBit;
    }
    e.bytes = encode(frame);
    e.cmd = frame.cmd;
    e.op = frame.op;
    e.data = frame.data;
    if (e.has(Dropped)) {
        logWire(std::move(e));
        return;
    }
    if (aimed ? *aimed == Action::CorruptChecksum : chance(faults.corruptChecksum)) {
        e.bytes.back() = std::uint8_t(e.bytes.back() + 1);
        e.flags |= CorruptChecksum;
    }
    if (!present() || !uartEnabled) {
        e.flags |= Lost;
        e.text = present() ? "UART disabled" : "bridge not on the bus";
        logWire(std::move(e));
        return;
    }
    if (!aimed && chance(faults.noise)) {
        WireEntry n;
        n.direction = Direction::FromDevice;
        n.kind = Kind::Noise;
        n.begin = lineStart(t);
        const int count = 1 + randomBelow(std::max(1, faults.noiseBytes));
        for (int i = 0; i < count; ++i) {
            std::uint8_t b;
            do
                b = std::uint8_t(randomBelow(256));
            while (b == 0x55 || b == 0xAA);
            n.bytes.push_back(b);
        }
        putOnLine(t, n.bytes);
        n.end = rxLineFree;
        n.text = "noise fault";
        logWire(std::move(n));
    }
    e.begin = lineStart(t);
    if (!aimed && e.bytes.size() >= 2 && chance(faults.splitReply)) {
        e.splitAt = 1 + std::size_t(randomBelow(int(e.bytes.size()) - 1));
        e.flags |= Split;
        putOnLine(t, Bytes(e.bytes.begin(), e.bytes.begin() + std::ptrdiff_t(e.splitAt)));
        putOnLine(rxLineFree + std::chrono::milliseconds(faults.splitGapMs),
                  Bytes(e.bytes.begin() + std::ptrdiff_t(e.splitAt), e.bytes.end()));
    } else {
        putOnLine(t, e.bytes);
    }
    e.end = rxLineFree;
    ++answersSent;
    logWire(std::move(e));
    notify();
}

void Sim::leaveBus(Time t, const std::string &why)
{
    ++generation;
    toDevice.clear();
    toHost.clear();
    uartEnabled = false;
    txLineFree = rxLineFree = t;
    logEvent(t, "bridge left the bus: " + why);
    notify();
}

void Sim::setCable(Time t, bool in)
{
    if (in == cable)
        return;
    if (!in) {
        const bool was = present();
        cable = false;
        if (was)
            leaveBus(t, "unplugged");
        else
            logEvent(t, "unplugged");
        device->linkLost(t);
    } else {
        cable = true;
        uartEnabled = false;
        logEvent(t, "plugged " + ids(vendorId, productId) + (bridgeDown ? " (bridge restarting)" : ""));
    }
    notify();
}

void Sim::setBridgeUp(Time t, bool up, const std::string &why)
{
    if (!up) {
        const bool was = present();
        ++bridgeDown;
        if (was)
            leaveBus(t, why);
    } else if (bridgeDown > 0) {
        --bridgeDown;
        uartEnabled = false;
        if (present())
            logEvent(t, "bridge back on the bus: " + why);
    }
    notify();
}

void Sim::logWire(WireEntry entry)
{
    wire.push_back(std::move(entry));
    if (wire.size() > kLogLimit)
        wire.pop_front();
}

void Sim::logEvent(Time t, const std::string &text)
{
    WireEntry e;
    e.begin = e.end = t;
    e.kind = Kind::Event;
    e.text = text;
    logWire(std::move(e));
}

void Sim::logUsb(UsbEvent event)
{
    usb.push_back(std::move(event));
    if (usb.size() > kLogLimit)
        usb.pop_front();
}

} // namespace VirtualWdx::detail
