#include "SimFrame.h"

namespace VirtualWdx::detail {

namespace {
bool isStart(std::uint8_t b)
{
    return b == 0x55 || b == 0xAA;
}

Bytes valuesOf(const std::vector<TimedByte> &bytes, std::size_t count)
{
    Bytes out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(bytes[i].value);
    return out;
}
} // namespace

std::uint16_t checksumOf(const std::uint8_t *bytes, std::size_t count)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return std::uint16_t(0x10000u - (sum & 0xFFFFu));
}

Bytes encode(const Frame &frame)
{
    const std::size_t nb = frame.data.size() + 2;
    Bytes out;
    out.reserve(nb + 5);
    out.push_back(frame.sof);
    out.push_back(std::uint8_t(nb >> 8));
    out.push_back(std::uint8_t(nb));
    out.push_back(frame.cmd);
    out.push_back(frame.op);
    out.insert(out.end(), frame.data.begin(), frame.data.end());
    const std::uint16_t sum = checksumOf(out.data(), out.size());
    out.push_back(std::uint8_t(sum >> 8));
    out.push_back(std::uint8_t(sum));
    return out;
}

bool decode(const Bytes &bytes, Frame &frame)
{
    if (bytes.size() < 7 || !isStart(bytes[0]))
        return false;
    const std::size_t nb = (std::size_t(bytes[1]) << 8) | bytes[2];
    if (nb < 2 || bytes.size() != nb + 5)
        return false;
    const std::uint16_t received = std::uint16_t((bytes[nb + 3] << 8) | bytes[nb + 4]);
    if (checksumOf(bytes.data(), nb + 3) != received)
        return false;
    frame.sof = bytes[0];
    frame.cmd = bytes[3];
    frame.op = bytes[4];
    frame.data.assign(bytes.begin() + 5, bytes.begin() + 5 + std::ptrdiff_t(nb - 2));
    return true;
}

void FrameScanner::feed(const TimedByte &byte, std::vector<Item> &out)
{
    m_lastAt = byte.at;
    m_buffer.push_back(byte);
    scan(out);
}

void FrameScanner::scan(std::vector<Item> &out)
{
    std::size_t head = 0;
    auto skipOne = [&] {
        m_noise.push_back(m_buffer[head]);
        ++head;
    };
    while (head < m_buffer.size()) {
        const std::size_t avail = m_buffer.size() - head;
        if (!isStart(m_buffer[head].value)) {
            skipOne();
            continue;
        }
        if (avail < 3)
            break;
        const std::size_t nb = (std::size_t(m_buffer[head + 1].value) << 8) | m_buffer[head + 2].value;
        if (nb < 2 || nb - 2 > kMaxData) {
            skipOne();
            continue;
        }
        const std::size_t total = nb + 5;
        if (avail < total)
            break;
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < nb + 3; ++i)
            sum += m_buffer[head + i].value;
        const std::uint16_t received = std::uint16_t((m_buffer[head + nb + 3].value << 8) | m_buffer[head + nb + 4].value);
        flushNoise(out);
        Item item;
        item.begin = m_buffer[head].at;
        item.end = m_buffer[head + total - 1].at;
        for (std::size_t i = 0; i < total; ++i)
            item.bytes.push_back(m_buffer[head + i].value);
        if (std::uint16_t(sum + received) == 0) {
            item.kind = Kind::Frame;
            head += total;
        } else {
            item.kind = Kind::BadChecksum;
            // Only the start byte is spent: the rest may hide the next real frame.
            ++head;
        }
        out.push_back(std::move(item));
    }
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(head));
    // Noise is reported when a frame follows or on flush, so a run of it is one entry.
}

void FrameScanner::flushNoise(std::vector<Item> &out)
{
    if (m_noise.empty())
        return;
    out.push_back({Kind::Noise, valuesOf(m_noise, m_noise.size()), m_noise.front().at, m_noise.back().at});
    m_noise.clear();
}

void FrameScanner::flush(std::vector<Item> &out)
{
    flushNoise(out);
    if (!m_buffer.empty()) {
        out.push_back({Kind::Incomplete, valuesOf(m_buffer, m_buffer.size()), m_buffer.front().at, m_buffer.back().at});
        m_buffer.clear();
    }
}

void FrameScanner::clear()
{
    m_buffer.clear();
    m_noise.clear();
}

} // namespace VirtualWdx::detail
