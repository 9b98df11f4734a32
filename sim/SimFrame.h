#pragma once

// The device's own frame codec. It shares nothing with the application's protocol code on
// purpose: a misreading on either side shows up as a disagreement on the wire.

#include "VirtualWdx.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace VirtualWdx::detail {

struct Frame
{
    std::uint8_t sof = 0x55;
    std::uint8_t cmd = 0;
    std::uint8_t op = 0;
    Bytes data;
};

// Two's complement of the byte sum, so that sum + checksum == 0 (mod 65536).
std::uint16_t checksumOf(const std::uint8_t *bytes, std::size_t count);
Bytes encode(const Frame &frame);
// True when `bytes` hold exactly one frame with a right checksum.
bool decode(const Bytes &bytes, Frame &frame);

struct TimedByte
{
    Clock::time_point at;
    std::uint8_t value;
};

// Cuts frames out of the byte stream that reaches the device. A byte that cannot start a frame is
// skipped; a header announcing no OP or an implausible length is skipped one byte at a time; a
// frame whose checksum is wrong is reported and skipped by its first byte only, so a real frame
// hidden behind garbage is still found.
class FrameScanner
{
public:
    static constexpr std::size_t kMaxData = 4096;

    struct Item
    {
        Kind kind;   // Frame, BadChecksum or Noise
        Bytes bytes;
        Clock::time_point begin, end;
    };

    void feed(const TimedByte &byte, std::vector<Item> &out);
    bool holdsBytes() const { return !m_buffer.empty() || !m_noise.empty(); }
    Clock::time_point lastByteAt() const { return m_lastAt; }
    // Gives up on whatever is held (a partial frame becomes Incomplete).
    void flush(std::vector<Item> &out);
    void clear();

private:
    void scan(std::vector<Item> &out);
    void flushNoise(std::vector<Item> &out);

    std::vector<TimedByte> m_buffer;
    std::vector<TimedByte> m_noise;
    Clock::time_point m_lastAt{};
};

} // namespace VirtualWdx::detail
