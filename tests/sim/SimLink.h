#pragma once

// The host side of a link to the virtual Wdx, through the hidapi functions alone, the way the
// application's bridge driver uses them. Frames are cut with the test's own few lines of code.

#include "VirtualWdx.h"

#include <hidapi/hidapi.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <vector>

using VirtualWdx::Bytes;

inline std::uint16_t sumCheck(const Bytes &bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return std::uint16_t(0x10000u - (sum & 0xFFFFu));
}

// A request frame written out by hand: SOF, NB, CMD, OP, DATA, checksum.
inline Bytes request(std::uint8_t cmd, std::uint8_t op, const Bytes &data = {})
{
    Bytes f;
    f.reserve(data.size() + 7);
    for (std::uint8_t b : {std::uint8_t(0x55), std::uint8_t((data.size() + 2) >> 8), std::uint8_t(data.size() + 2), cmd, op})
        f.push_back(b);
    for (std::uint8_t b : data)
        f.push_back(b);
    const std::uint16_t c = sumCheck(f, f.size());
    f.push_back(std::uint8_t(c >> 8));
    f.push_back(std::uint8_t(c));
    return f;
}

inline Bytes dataOf(const Bytes &frame)
{
    return frame.size() >= 7 ? Bytes(frame.begin() + 5, frame.end() - 2) : Bytes{};
}

inline Bytes textData(std::uint8_t sub, const std::string &text)
{
    Bytes d{sub};
    for (char c : text)
        d.push_back(std::uint8_t(c));
    return d;
}

// Frames that go out in one write, back to back on the line.
inline Bytes joined(std::initializer_list<Bytes> frames)
{
    Bytes out;
    for (const Bytes &f : frames)
        out.insert(out.end(), f.begin(), f.end());
    return out;
}

// The device's latest answer as the wire log holds it, dropped and lost ones included.
inline VirtualWdx::WireEntry lastAnswer()
{
    const std::vector<VirtualWdx::WireEntry> log = VirtualWdx::wireLog();
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->direction == VirtualWdx::Direction::FromDevice && it->kind == VirtualWdx::Kind::Frame)
            return *it;
    return {};
}

class SimLink
{
public:
    ~SimLink() { close(); }

    bool open(bool enableUart = true, std::uint16_t vid = VirtualWdx::kVendorId, std::uint16_t pid = VirtualWdx::kProductId)
    {
        close();
        dev = hid_open(vid, pid, nullptr);
        if (!dev || hid_set_nonblocking(dev, 0) != 0)
            return false;
        return !enableUart || setUart(true);
    }
    bool setUart(bool on)
    {
        const unsigned char report[2] = {0x41, std::uint8_t(on ? 1 : 0)};
        return hid_send_feature_report(dev, report, 2) == 2;
    }
    void close()
    {
        if (dev)
            hid_close(dev);
        dev = nullptr;
        pending.clear();
    }

    // Sends bytes as 64-byte interrupt reports of at most 63 payload bytes; the payload bytes sent,
    // or -1 once the device is gone.
    int send(const Bytes &bytes)
    {
        std::size_t offset = 0;
        while (offset < bytes.size()) {
            const std::size_t n = std::min<std::size_t>(63, bytes.size() - offset);
            unsigned char report[64] = {};
            report[0] = std::uint8_t(n);
            std::memcpy(report + 1, bytes.data() + offset, n);
            const int written = hid_write(dev, report, sizeof report);
            if (written < 0)
                return -1;
            if (written < int(n + 1))
                return int(offset);
            offset += n;
        }
        return int(offset);
    }

    // Reads input reports until one whole frame is in (bytes that start none are skipped), or the
    // time-out; an empty result on time-out or loss.
    Bytes receiveFrame(int timeoutMs = 2000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (!pending.empty() && pending[0] != 0x55 && pending[0] != 0xAA) {
                skipped.push_back(pending[0]);
                pending.erase(pending.begin());
            }
            if (pending.size() >= 3) {
                const std::size_t total = ((std::size_t(pending[1]) << 8) | pending[2]) + 5;
                if (pending.size() >= total) {
                    Bytes frame(pending.begin(), pending.begin() + std::ptrdiff_t(total));
                    pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(total));
                    return frame;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readReport(int(left.count())))
                return {};
        }
    }

    // One hid_read_timeout; false on time-out or loss (lastRead holds the result).
    bool readReport(int timeoutMs)
    {
        unsigned char report[64];
        lastRead = hid_read_timeout(dev, report, sizeof report, timeoutMs);
        if (lastRead <= 0)
            return false;
        reportSizes.push_back(report[0]);
        pending.insert(pending.end(), report + 1, report + 1 + report[0]);
        return true;
    }

    Bytes transact(const Bytes &requestFrame, int timeoutMs = 2000)
    {
        if (send(requestFrame) != int(requestFrame.size()))
            return {};
        return receiveFrame(timeoutMs);
    }

    Bytes ask(std::uint8_t cmd, std::uint8_t op, const Bytes &data, int timeoutMs = 2000)
    {
        return transact(request(cmd, op, data), timeoutMs);
    }

    // Firmware downloads as the upload worker runs them: one block write acknowledged with its id,
    // the closing state sent without waiting for an answer it never gets.
    bool writeBlock(std::uint8_t sub, std::uint8_t id, const Bytes &bytes)
    {
        Bytes d{sub, id};
        d.insert(d.end(), bytes.begin(), bytes.end());
        return ask(0x01, 0x02, d) == request(0x81, 0x02, {sub, id});
    }
    void closeDownload(std::uint8_t sub, std::uint8_t closing, std::uint16_t size)
    {
        send(request(0x01, 0x02, {sub, closing, std::uint8_t(size >> 8), std::uint8_t(size), 0xDE, 0xAD, 0xBE, 0xEF}));
    }
    // A whole main image to a device in boot mode; true when every step was acknowledged.
    bool uploadMainImage(const std::vector<Bytes> &blocks)
    {
        if (ask(0x01, 0x02, {0x00, 0x01}) != request(0x81, 0x02, {0x00, 0x01}))
            return false;
        std::size_t size = 0;
        for (std::size_t id = 0; id < blocks.size(); ++id) {
            if (!writeBlock(0x01, std::uint8_t(id), blocks[id]))
                return false;
            size += blocks[id].size();
        }
        closeDownload(0x00, 0x81, std::uint16_t(size));
        return true;
    }

    hid_device *dev = nullptr;
    Bytes pending;
    Bytes skipped;
    std::vector<int> reportSizes;
    int lastRead = 0;
};
