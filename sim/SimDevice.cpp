#include "SimDevice.h"
#include "SimCore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace VirtualWdx::detail {

namespace {
constexpr std::uint8_t kMaxGain = 72;
constexpr std::uint16_t kMaxDelay = 2280;
constexpr std::uint8_t kMaxThreshold = 120;
constexpr std::uint8_t kMaxRatio = 10;
constexpr std::uint8_t kMaxFrequency = 120;
constexpr std::uint8_t kMaxQ = 40;
constexpr std::uint8_t kMaxInputPatch = 0x3F;
constexpr std::uint8_t kMaxBandType = 7;
constexpr std::size_t kBands = 8;

const char *const kInputNames[6] = {"Input 1", "Input 2", "Input 3", "Input 4", "Input 5", "Input 6"};
const char *const kPreProcNames[2] = {"Left", "Right"};
const char *const kOutputNames[3] = {"Main A", "Sub", "Main B"};
const char *const kModeNames[2] = {"Main", "Sub"};
const char *const kImageNames[4] = {"main image", "DSP image", "main-speaker preset", "sub preset"};

Bytes text(std::uint8_t sub, const std::string &s)
{
    Bytes out;
    out.reserve(s.size() + 1);
    out.push_back(sub);
    for (char c : s)
        out.push_back(std::uint8_t(c));
    return out;
}

std::string threeChars(std::string s)
{
    s.resize(3, ' ');
    return s;
}

void put16(Bytes &out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

std::uint16_t get16(const Bytes &b, std::size_t at)
{
    return std::uint16_t((b[at] << 8) | b[at + 1]);
}

bool isBool(std::uint8_t v)
{
    return v <= 1;
}

std::string hex2(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", v & 0xFFu);
    return buf;
}

// A small integer hash for the meters' flicker: deterministic, no state.
std::uint32_t mix(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u + (a << 6) + (a >> 2));
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

std::uint8_t clampByte(double v)
{
    return std::uint8_t(std::clamp(v, 0.0, 255.0));
}

// The type code the application derives from the name; the families a Wdx has depend on it.
int deviceType(const std::string &name)
{
    if (name.size() < 14)
        return 255;
    const std::string code = name.substr(0, 7);
    const char *const endings[4] = {"-T-U", "-T-N", "-I-U", "-I-N"};
    for (int t = 0; t < 4; ++t)
        if (code.compare(3, 4, endings[t]) == 0)
            return t;
    return 255;
}

bool hasFrontPanelGains(int type)
{
    return type == 0 || type == 1;
}

bool hasDigitalMux(int type)
{
    return type == 1 || type == 3;
}
} // namespace

Device::Device(Sim &sim) : m_sim(sim), m_epoch(Clock::now())
{
}

bool Device::bootActive() const
{
    return mode == RunMode::Boot || (mode == RunMode::Main && (m_sim.faults.stayInBootMode || m_sim.faults.bootLoaderFault));
}

RunMode Device::reportedMode() const
{
    if (mode == RunMode::Restarting)
        return mode;
    return bootActive() ? RunMode::Boot : RunMode::Main;
}

Frame Device::ack(const Frame &request, Bytes data) const
{
    Frame f;
    f.cmd = std::uint8_t(0x80 | (request.cmd & 0x01));
    f.op = request.op;
    f.data = std::move(data);
    return f;
}

Frame Device::nack(const Frame &request) const
{
    Frame f;
    f.cmd = std::uint8_t(0xC0 | (request.cmd & 0x01));
    f.op = request.op;
    if (!request.data.empty())
        f.data.push_back(request.data[0]);
    return f;
}

Device::Outcome Device::handle(const Frame &r, Clock::time_point t)
{
    if (mode == RunMode::Restarting)
        return {std::nullopt, "restarting"};
    if (busyAt(t))
        return {std::nullopt, "busy applying an image"};
    if (r.cmd & 0x80)
        return {std::nullopt, "not a request"};
    if (r.cmd != 0x00 && r.cmd != 0x01)
        return {nack(r), {}};
    const bool write = r.cmd & 0x01;

    switch (r.op) {
    case 0x00:
        if (!r.data.empty())
            return {nack(r), {}};
        if (write) {
            restart(t, m_sim.timing.rebootLeaveMs, "reboot requested");
            return {std::nullopt, "reboot: no answer"};
        }
        if (bootActive() && !bootLocked) {
            mode = RunMode::Boot;
            bootLocked = true;
            m_sim.logEvent(t, "held in boot mode");
        }
        return {ack(r, {}), {}};
    case 0x01:
        return deviceInfo(r, t);
    case 0x02:
        return firmware(r, t);
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x08:
    case 0xFD:
        if (bootActive())
            return {nack(r), {}};
        return settings(r);
    case 0x09:
        if (bootActive())
            return {nack(r), {}};
        return security(r, t);
    default:
        return {nack(r), {}};
    }
}

Device::Outcome Device::deviceInfo(const Frame &r, Clock::time_point t)
{
    if ((r.cmd & 0x01) || r.data.size() != 1)
        return {nack(r), {}};
    const std::uint8_t sub = r.data[0];
    const std::uint8_t n = sub & 0x0F;
    switch (sub) {
    case 0x00: return {ack(r, text(sub, state.type)), {}};
    case 0x01: return {ack(r, text(sub, state.name)), {}};
    case 0x02: return {ack(r, text(sub, state.serial)), {}};
    case 0x03: return {ack(r, text(sub, state.mainVersion)), {}};
    case 0x04:
        if (m_sim.faults.silentStatus)
            return {std::nullopt, "silentStatus fault"};
        if (!state.statusText.empty())
            return {ack(r, text(sub, state.statusText)), {}};
        return {ack(r, text(sub, bootActive() ? "boot mode" : "main mode")), {}};
    case 0x05:
        if (!state.securityText.empty())
            return {ack(r, text(sub, state.securityText)), {}};
        return {ack(r, text(sub, state.locked ? "locked" : "unlocked")), {}};
    case 0x06: return {ack(r, {sub, 6}), {}};
    case 0x07: return {ack(r, {sub, 2}), {}};
    case 0x08: return {ack(r, {sub, 3}), {}};
    case 0x09: return {ack(r, {sub, 2}), {}};
    case 0x0A: return {ack(r, text(sub, state.dspVersion)), {}};
    case 0x0B: return {ack(r, text(sub, state.mainPresetVersion + "/" + state.subPresetVersion)), {}};
    default: break;
    }
    if ((sub & 0xF0) == 0x20 && n < 6)
        return {ack(r, text(sub, kInputNames[n])), {}};
    if ((sub & 0xF0) == 0x30 && n < 2)
        return {ack(r, text(sub, kPreProcNames[n])), {}};
    if ((sub & 0xF0) == 0x40 && n < 3)
        return {ack(r, text(sub, kOutputNames[n])), {}};
    if ((sub & 0xF0) == 0x50 && n < 2)
        return {ack(r, text(sub, kModeNames[n])), {}};

    std::array<std::uint8_t, 6> in{};
    std::array<std::uint8_t, 3> out{}, comp{};
    if (!bootActive())
        meters(t, in, out, comp);
    Bytes d{sub};
    switch (sub) {
    case 0x80: d.insert(d.end(), in.begin(), in.end()); break;
    case 0x81: d.insert(d.end(), out.begin(), out.end()); break;
    case 0x82:
        d.insert(d.end(), in.begin(), in.end());
        d.insert(d.end(), out.begin(), out.end());
        break;
    case 0x86: d.insert(d.end(), comp.begin(), comp.end()); break;
    default: return {nack(r), {}};
    }
    return {ack(r, std::move(d)), {}};
}

Device::Outcome Device::firmware(const Frame &r, Clock::time_point t)
{
    if (r.data.empty())
        return {nack(r), {}};
    const bool write = r.cmd & 0x01;
    const std::uint8_t sub = r.data[0];
    if (sub > 0x03)
        return {nack(r), {}};
    const int ch = sub >> 1;            // 0x00/0x01 main, 0x02/0x03 DSP
    Channel &c = channels[ch];
    const bool statusItem = (sub & 0x01) == 0;

    if (statusItem) {
        if (!write)
            return r.data.size() == 1 ? Outcome{ack(r, {sub, c.state}), {}} : Outcome{nack(r), {}};
        if (r.data.size() < 2)
            return {nack(r), {}};
        const std::uint8_t k = r.data[1];
        if (k >= 0x81 && k <= 0x83) {
            closeDownload(ch, k, r, t);
            return {std::nullopt, "closing: no answer"};
        }
        if (r.data.size() != 2)
            return {nack(r), {}};
        if (k == 0) {
            if (c.state != 0)
                m_sim.logEvent(t, std::string("download aborted on the ") + (ch ? "DSP" : "main") + " channel");
            c.state = 0;
            return {ack(r, {sub, 0}), {}};
        }
        const bool allowed = ch == 0 ? (k == 1 && bootActive()) : (k >= 1 && k <= 3);
        if (!allowed || c.state != 0)
            return {nack(r), {}};
        c.state = k;
        c.blocks.clear();
        c.received = 0;
        const int kind = ch == 0 ? 0 : k;   // index into kImageNames
        m_sim.logEvent(t, std::string("download opened: ") + kImageNames[kind]);
        return {ack(r, {sub, k}), {}};
    }

    if (r.data.size() < 2)
        return {nack(r), {}};
    const std::uint8_t id = r.data[1];
    if (!write) {
        if (r.data.size() != 2)
            return {nack(r), {}};
        auto it = c.blocks.find(id);
        if (it == c.blocks.end())
            return {nack(r), {}};
        Bytes d{sub, id};
        d.insert(d.end(), it->second.begin(), it->second.end());
        return {ack(r, std::move(d)), {}};
    }
    if (c.state == 0 || r.data.size() < 3)
        return {nack(r), {}};
    Bytes block(r.data.begin() + 2, r.data.end());
    auto it = c.blocks.find(id);
    if (it != c.blocks.end())
        c.received -= it->second.size();
    c.received += block.size();
    c.blocks[id] = std::move(block);
    return {ack(r, {sub, id}), {}};
}

void Device::closeDownload(int ch, std::uint8_t closing, const Frame &r, Clock::time_point t)
{
    Channel &c = channels[ch];
    const char *channelName = ch ? "DSP" : "main";
    auto discard = [&](const std::string &why) {
        c.state = 0;
        m_sim.logEvent(t, std::string("download discarded on the ") + channelName + " channel: " + why);
    };
    if (c.state == 0) {
        m_sim.logEvent(t, std::string("closing ignored, no download open on the ") + channelName + " channel");
        return;
    }
    if (closing != (c.state | 0x80))
        return discard("closing " + hex2(closing) + " does not match opening " + hex2(c.state));
    if (r.data.size() != 8)
        return discard("closing without size and checksum");
    const std::uint16_t size = get16(r.data, 2);
    if (size != (c.received & 0xFFFF))
        return discard("size " + std::to_string(size) + " but " + std::to_string(c.received) + " bytes received");

    const ImageKind kind = ch == 0 ? ImageKind::Main
                         : closing == 0x81 ? ImageKind::Dsp
                         : closing == 0x82 ? ImageKind::MainPreset : ImageKind::SubPreset;
    Image image;
    image.present = true;
    image.blocks = c.blocks;
    image.size = size;
    std::copy(r.data.begin() + 4, r.data.end(), image.checksum.begin());
    image.version = versionOf(image);
    if (kind == ImageKind::MainPreset || kind == ImageKind::SubPreset) {
        auto first = image.blocks.find(0);
        if (first == image.blocks.end() || first->second.size() < 3)
            return discard("preset without an id in block 0");
        image.presetId.assign(first->second.begin(), first->second.begin() + 3);
    }
    c.state = 0;
    m_sim.logEvent(t, std::string("download closed: ") + kImageNames[int(kind)] + ", " + std::to_string(size)
                          + " bytes, version " + image.version);

    const Timing &tm = m_sim.timing;
    const int busyMs = kind == ImageKind::Main ? tm.mainApplyMs : kind == ImageKind::Dsp ? tm.dspBusyMs : tm.presetBusyMs;
    const Time done = t + std::chrono::milliseconds(busyMs);
    m_busyUntil = done;
    const std::uint64_t session = m_session;
    m_sim.schedule(done, [this, session, kind, image](Time at) {
        if (session != m_session)
            return;
        apply(kind, image, at);
        if (kind == ImageKind::Main) {
            if (m_sim.faults.bootLoaderFault) {
                m_sim.faults.bootLoaderFault = false;
                m_sim.logEvent(at, "bootLoaderFault cured by the main image");
            }
            restart(at, 0, "main image applied");
        }
    });
}

std::string Device::versionOf(const Image &image) const
{
    static const std::string tag = "WDXVER";
    Bytes all;
    for (const auto &block : image.blocks)
        all.insert(all.end(), block.second.begin(), block.second.end());
    auto it = std::search(all.begin(), all.end(), tag.begin(), tag.end());
    if (it != all.end() && all.end() - it >= std::ptrdiff_t(tag.size() + 4))
        return std::string(it + std::ptrdiff_t(tag.size()), it + std::ptrdiff_t(tag.size() + 4));
    return state.fallbackImageVersion;
}

void Device::apply(ImageKind kind, Image image, Clock::time_point at)
{
    switch (kind) {
    case ImageKind::Main: state.mainVersion = image.version; break;
    case ImageKind::Dsp: state.dspVersion = image.version; break;
    case ImageKind::MainPreset:
        state.mainPreset = image.presetId;
        state.mainPresetVersion = image.version;
        break;
    case ImageKind::SubPreset:
        state.subPreset = image.presetId;
        state.subPresetVersion = image.version;
        break;
    }
    m_sim.logEvent(at, std::string("image applied: ") + kImageNames[int(kind)] + " " + image.version
                       + (image.presetId.empty() ? "" : " " + image.presetId));
    images[int(kind)] = std::move(image);
}

void Device::restart(Clock::time_point t, int leaveAfterMs, const char *why)
{
    const std::uint64_t session = ++m_session;
    mode = RunMode::Restarting;
    bootLocked = false;
    m_busyUntil = {};
    for (Channel &c : channels)
        c.state = 0;
    m_sim.logEvent(t, std::string("restarting: ") + why);
    m_sim.schedule(t + std::chrono::milliseconds(leaveAfterMs), [this, session](Time left) {
        if (session != m_session)
            return;
        // A restart that interrupts another keeps the bridge down it already holds.
        if (!m_holdsBridge) {
            m_holdsBridge = true;
            m_sim.setBridgeUp(left, false, "device restarting");
        }
        m_sim.schedule(left + std::chrono::milliseconds(m_sim.timing.rebootAbsentMs), [this, session](Time back) {
            if (session != m_session)
                return;
            mode = RunMode::Boot;
            if (m_holdsBridge) {
                m_holdsBridge = false;
                m_sim.setBridgeUp(back, true, "device restarted");
            }
            m_sim.logEvent(back, "boot mode");
            m_sim.schedule(back + std::chrono::milliseconds(m_sim.timing.bootWindowMs), [this, session](Time end) {
                if (session != m_session || mode != RunMode::Boot || bootLocked)
                    return;
                mode = RunMode::Main;
                const bool stuck = m_sim.faults.stayInBootMode || m_sim.faults.bootLoaderFault;
                m_sim.logEvent(end, stuck ? "main firmware does not start" : "main mode");
            });
        });
    });
}

void Device::linkLost(Clock::time_point t)
{
    for (int ch = 0; ch < 2; ++ch) {
        if (channels[ch].state != 0) {
            channels[ch].state = 0;
            m_sim.logEvent(t, std::string("download abandoned on the ") + (ch ? "DSP" : "main") + " channel: link lost");
        }
    }
}

Device::Outcome Device::security(const Frame &r, Clock::time_point t)
{
    const Bytes &d = r.data;
    if (!(r.cmd & 0x01) || d.size() < 2 || d.size() != std::size_t(2 + d[1]) || d[0] > 0x01)
        return {nack(r), {}};
    const std::string pin(d.begin() + 2, d.end());
    if (d[0] == 0x00) {
        const bool ok = pin == state.pin;
        if (ok && state.locked) {
            state.locked = false;
            m_sim.logEvent(t, "unlocked");
        } else if (!ok) {
            m_sim.logEvent(t, "unlock refused: wrong PIN");
        }
        return {ack(r, {0x00, std::uint8_t(ok ? 1 : 0)}), {}};
    }
    if (state.locked || pin.empty())
        return {nack(r), {}};
    state.pin = pin;
    state.locked = true;
    m_sim.logEvent(t, "locked");
    return {ack(r, {0x01, 0x01}), {}};
}

Device::Outcome Device::settings(const Frame &r)
{
    const Bytes &d = r.data;
    if (d.empty())
        return {nack(r), {}};
    const bool write = r.cmd & 0x01;
    if (write && state.locked)
        return {nack(r), {}};
    if (!write && d.size() != 1)
        return {nack(r), {}};
    const std::uint8_t sub = d[0];
    const std::uint8_t n = sub & 0x0F;
    const std::uint8_t family = sub & 0xF0;
    const Outcome refused{nack(r), {}};
    auto done = [&](Bytes data) { return Outcome{ack(r, std::move(data)), {}}; };
    auto written = [&] { return Outcome{ack(r, {sub}), {}}; };

    switch (r.op) {
    case 0x03: // gains
        if (sub == 0x00)
            return write ? refused : done({sub, 3});
        if (sub == 0x40) {
            if (!write)
                return done({sub, state.outputGains[0], state.outputGains[1], state.outputGains[2]});
            if (d.size() != 4 || std::any_of(d.begin() + 1, d.end(), [](std::uint8_t g) { return g > kMaxGain; }))
                return refused;
            std::copy(d.begin() + 1, d.end(), state.outputGains.begin());
            return written();
        }
        if (sub == 0x80 && !write && hasFrontPanelGains(deviceType(state.name)))
            return done({sub, state.frontPanelGains[0], state.frontPanelGains[1], state.frontPanelGains[2]});
        return refused;

    case 0x04: { // delays
        if (sub == 0x00)
            return write ? refused : done({sub, 3});
        std::uint16_t *values = sub == 0x20 ? state.inputDelays.data() : sub == 0x40 ? state.outputDelays.data() : nullptr;
        const std::size_t count = sub == 0x20 ? state.inputDelays.size() : state.outputDelays.size();
        if (!values)
            return refused;
        if (!write) {
            Bytes out{sub};
            for (std::size_t i = 0; i < count; ++i)
                put16(out, values[i]);
            return done(std::move(out));
        }
        if (d.size() != 1 + 2 * count)
            return refused;
        for (std::size_t i = 0; i < count; ++i)
            if (get16(d, 1 + 2 * i) > kMaxDelay)
                return refused;
        for (std::size_t i = 0; i < count; ++i)
            values[i] = get16(d, 1 + 2 * i);
        return written();
    }

    case 0x05: { // patch
        if (sub == 0x00)
            return write ? refused : done({sub, 2, 3});
        std::uint8_t *value = family == 0x30 && n < 2 ? &state.preProcessingPatches[n]
                            : family == 0x40 && n < 3 ? &state.outputPatches[n] : nullptr;
        if (!value)
            return refused;
        if (!write)
            return done({sub, *value});
        if (d.size() != 2 || (family == 0x30 && d[1] > kMaxInputPatch))
            return refused;
        *value = d[1];
        return written();
    }

    case 0x06: { // equaliser
        if (sub == 0x00)
            return write ? refused : done({sub, 2, std::uint8_t(kBands)});
        if (family != 0x30 || n >= 2)
            return refused;
        Eq &eq = state.eqs[n];
        if (!write) {
            Bytes out{sub, std::uint8_t(eq.enabled ? 1 : 0)};
            for (const EqBand &b : eq.bands) {
                out.push_back(b.control);
                out.push_back(b.frequency);
                out.push_back(b.gain);
                out.push_back(b.qualityFactor);
            }
            return done(std::move(out));
        }
        if (d.size() < 2 || (d.size() - 2) % 4 != 0 || (d.size() - 2) / 4 > kBands || !isBool(d[1]))
            return refused;
        const std::size_t bands = (d.size() - 2) / 4;
        for (std::size_t i = 0; i < bands; ++i) {
            const std::uint8_t *p = &d[2 + 4 * i];
            if ((p[0] & 0x3F) > kMaxBandType || p[1] > kMaxFrequency || p[2] > kMaxGain || p[3] > kMaxQ)
                return refused;
        }
        eq.enabled = d[1] == 1;
        for (std::size_t i = 0; i < bands; ++i) {
            const std::uint8_t *p = &d[2 + 4 * i];
            eq.bands[i] = EqBand{p[0], p[1], p[2], p[3]};
        }
        return written();
    }

    case 0x07: { // compressors
        if (sub == 0x00)
            return write ? refused : done({sub, 3});
        if (family != 0x40 || n >= 3)
            return refused;
        Compressor &c = state.compressors[n];
        if (!write)
            return done({sub, c.ratio, c.decay, c.threshold, std::uint8_t(c.enabled ? 1 : 0)});
        if (d.size() != 5 || d[1] > kMaxRatio || d[3] > kMaxThreshold || !isBool(d[4]))
            return refused;
        c = Compressor{d[1], d[2], d[3], d[4] == 1};
        return written();
    }

    case 0x08: // speaker presets and modes
        if (sub == 0x00 && !write)
            return done(text(sub, threeChars(state.mainPreset) + threeChars(state.subPreset)));
        if (sub == 0x01) {
            if (!write)
                return done({sub, state.hwMode, state.mainMode, state.subMode});
            if (d.size() != 3 || state.hwMode != 1)
                return refused;
            state.mainMode = d[1];
            state.subMode = d[2];
            return written();
        }
        return refused;

    case 0xFD: // device-specific functions
        if (sub == 0x00) {
            if (!hasDigitalMux(deviceType(state.name)))
                return refused;
            if (!write)
                return done({sub, state.digitalMux});
            if (d.size() != 2)
                return refused;
            state.digitalMux = d[1];
            return written();
        }
        if (sub == 0x01) {
            if (!write) {
                Bytes out{sub};
                put16(out, state.networkDelayCompensation);
                return done(std::move(out));
            }
            if (d.size() != 3)
                return refused;
            state.networkDelayCompensation = get16(d, 1);
            return written();
        }
        return refused;
    default:
        return refused;
    }
}

void Device::meters(Clock::time_point t, std::array<std::uint8_t, 6> &in, std::array<std::uint8_t, 3> &out,
                    std::array<std::uint8_t, 3> &comp) const
{
    if (!state.metersMoving) {
        in = state.inputMeters;
        out = state.outputMeters;
        comp = state.compressorMeters;
        return;
    }
    // A programme with a slow swell, a 120 bpm pulse and some flicker; inputs 3..6 quieter.
    const double s = std::chrono::duration<double>(t - m_epoch).count();
    const double pi2 = 6.283185307179586;
    std::array<double, 6> level{};
    for (int i = 0; i < 6; ++i) {
        const double swell = 0.5 + 0.5 * std::sin(pi2 * (0.11 + 0.03 * i) * s + 1.7 * i);
        const double pulse = std::exp(-7.0 * std::fmod(s * 2.0 + 0.13 * i, 1.0));
        const double flicker = double(mix(std::uint32_t(i), std::uint32_t(s * 20.0)) >> 8) / double(1u << 24);
        const double v = 60 + 100 * swell + 55 * pulse + 30 * flicker;
        level[std::size_t(i)] = i < 2 ? v : v * 0.6;
        in[std::size_t(i)] = clampByte(level[std::size_t(i)]);
    }
    std::array<double, 2> pre{};
    for (std::size_t p = 0; p < 2; ++p)
        for (std::size_t i = 0; i < 6; ++i)
            if (state.preProcessingPatches[p] & (1u << i))
                pre[p] = std::max(pre[p], level[i]);
    for (std::size_t j = 0; j < 3; ++j) {
        const std::uint8_t patch = state.outputPatches[j];
        double v = patch == 0 ? pre[0] : patch == 1 ? pre[1] : patch == 2 ? std::max(pre[0], pre[1]) : 0.0;
        v *= 0.55 + 0.6 * state.outputGains[j] / double(kMaxGain);
        const Compressor &c = state.compressors[j];
        double reduction = 0;
        const double knee = 255.0 * c.threshold / kMaxThreshold;
        if (c.enabled && v > knee)
            reduction = std::min(255.0, (v - knee) * (1.0 + c.ratio) * 1.5);
        out[j] = clampByte(v - reduction / 4);
        comp[j] = clampByte(reduction);
    }
}

} // namespace VirtualWdx::detail
