#pragma once

// The host side of a link to the virtual Wdx through the hidapi functions alone, as the bridge
// driver uses them. Frames are built and cut with the test's own few lines, not the product's.

#include "VirtualWdx.h"

#include <hidapi/hidapi.h>

#include <chrono>
#include <cstring>
#include <string>

using namespace VirtualWdx;

// SOF, NB, CMD, OP, DATA and the two's complement of the byte sum.
inline Bytes request(std::uint8_t cmd, std::uint8_t op, const Bytes &data = {})
{
    Bytes f{0x55, std::uint8_t((data.size() + 2) >> 8), std::uint8_t(data.size() + 2), cmd, op};
    f.insert(f.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : f)
        sum += b;
    const std::uint16_t c = std::uint16_t(0x10000u - (sum & 0xFFFFu));
    f.insert(f.end(), {std::uint8_t(c >> 8), std::uint8_t(c)});
    return f;
}

inline Bytes dataOf(const Bytes &frame) { return frame.size() >= 7 ? Bytes(frame.begin() + 5, frame.end() - 2) : Bytes{}; }

inline Bytes text(std::uint8_t sub, const std::string &chars)
{
    Bytes d{sub};
    d.insert(d.end(), chars.begin(), chars.end());
    return d;
}

inline Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline int countEvents(const std::string &what)
{
    int n = 0;
    for (const WireEntry &e : wireLog())
        n += e.kind == Kind::Event && e.text.find(what) != std::string::npos;
    return n;
}

struct SimLink
{
    ~SimLink() { close(); }
    bool open()
    {
        close();
        dev = hid_open(kVendorId, kProductId, nullptr);
        return dev && hid_set_nonblocking(dev, 0) == 0 && setUart(true);
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
        skipped.clear();
        reportSizes.clear();
    }

    // 64-byte interrupt reports of at most 63 payload bytes; the payload bytes sent.
    int send(const Bytes &bytes)
    {
        std::size_t offset = 0;
        while (offset < bytes.size()) {
            const std::size_t n = std::min<std::size_t>(63, bytes.size() - offset);
            unsigned char report[64] = {std::uint8_t(n)};
            std::memcpy(report + 1, bytes.data() + offset, n);
            if (hid_write(dev, report, sizeof report) < int(n + 1))
                break;
            offset += n;
        }
        return int(offset);
    }

    // One whole frame (bytes that start none go to `skipped`), or empty on time-out or loss.
    Bytes receiveFrame(int timeoutMs = 2000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (!pending.empty() && pending[0] != 0x55 && pending[0] != 0xAA) {
                skipped.push_back(pending[0]);
                pending.erase(pending.begin());
            }
            const std::size_t total = pending.size() >= 3 ? ((std::size_t(pending[1]) << 8) | pending[2]) + 5 : 0;
            if (total && pending.size() >= total) {
                const Bytes frame(pending.begin(), pending.begin() + std::ptrdiff_t(total));
                pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(total));
                return frame;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            unsigned char report[64];
            if (left.count() <= 0 || hid_read_timeout(dev, report, sizeof report, int(left.count())) <= 0)
                return {};
            reportSizes.push_back(report[0]);
            pending.insert(pending.end(), report + 1, report + 1 + report[0]);
        }
    }

    Bytes transact(const Bytes &frame, int timeoutMs = 2000)
    {
        return send(frame) == int(frame.size()) ? receiveFrame(timeoutMs) : Bytes{};
    }

    hid_device *dev = nullptr;
    Bytes pending, skipped;
    std::vector<int> reportSizes;
};
