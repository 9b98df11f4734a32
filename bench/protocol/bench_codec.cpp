// Frame codec throughput over a realistic mix of traffic, against the ceiling of the link:
// a full-speed USB HID interrupt pipe moves at most 63 payload bytes per 1 ms report.
//
// parse: a fresh message per frame, as the receive parser does.
// build: the request builder (or the answer's setters) plus buildFrame, as a request is made.

#include "protocol/WdxRequestBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using namespace WdxRequestBuilder;

namespace {

constexpr double kUsbPipeBytesPerSecond = 63000.0;
constexpr int kRounds = 5;
constexpr qint64 kRoundNs = 400 * 1000 * 1000;

using Maker = std::function<WdxMessageGeneric()>;

WdxMessageGeneric answer(quint8 cmd, quint8 op, const QByteArray &data)
{
    WdxMessageGeneric m;
    m.setStartOfFrame(0x55);
    m.setCommandType(cmd);
    m.setOperationCode(op);
    m.setData(QRawData(data));
    return m;
}

QByteArray pattern(int n, int seed)
{
    QByteArray out(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        out[i] = char((i * 31 + seed) & 0xFF);
    return out;
}

// One polling pass over the screens plus a slice of a firmware upload.
std::vector<Maker> trafficMix(QObject *owner)
{
    QList<WdxEqBand *> bands;
    for (int i = 0; i < 10; ++i) {
        auto *band = new WdxEqBand(owner);
        band->setFrequency(quint8(10 * i));
        band->setGain(36);
        band->setControl(0xC1);
        band->setQualityFactor(20);
        bands << band;
    }
    const QRawData block(pattern(512, 7));
    return {
        [] { return readDeviceInfoMessage(enDeviceInfo_InputMeters); },
        [] { return answer(0x80, 0x01, QByteArray::fromHex("80") + pattern(6, 1)); },
        [] { return readDeviceInfoMessage(enDeviceInfo_OutputMeters); },
        [] { return answer(0x80, 0x01, QByteArray::fromHex("81") + pattern(3, 2)); },
        [] { return readDeviceInfoMessage(enDeviceInfo_OutputUserCompressorMeters); },
        [] { return answer(0x80, 0x01, QByteArray::fromHex("86") + pattern(3, 3)); },
        [] { return readOutputGainsMessage(); },
        [] { return answer(0x80, 0x03, QByteArray::fromHex("40242424")); },
        [] { return readOutputDelaysMessage(); },
        [] { return answer(0x80, 0x04, QByteArray::fromHex("40000c00180000")); },
        [] { return readCompressorMessage(1); },
        [] { return answer(0x80, 0x07, QByteArray::fromHex("4103045a01")); },
        [] { return readEqMessage(0); },
        [] { return answer(0x80, 0x06, QByteArray::fromHex("3001") + pattern(40, 4)); },
        [] { return writeOutputGainsMessage({36, 40, 30}); },
        [] { return answer(0x81, 0x03, QByteArray::fromHex("40")); },
        [] { return readDeviceInfoMessage(enDeviceInfo_DeviceName); },
        [] { return answer(0x80, 0x01, QByteArray::fromHex("01") + QByteArray("Vela WDX 4000 Rack")); },
        [block] { return writeMainBlockMessage(17, block); },
        [] { return answer(0x81, 0x02, QByteArray::fromHex("0111")); },
        [block] { return writeDspBlockMessage(18, block); },
        [] { return answer(0x81, 0x02, QByteArray::fromHex("0312")); },
    };
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs one pass over the mix until a round's time is used up; returns MB/s per round.
template<typename Pass>
std::vector<double> measure(Pass pass)
{
    std::vector<double> rates;
    for (int r = 0; r < kRounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        qint64 bytes = 0;
        do {
            bytes += pass();
        } while (timer.nsecsElapsed() < kRoundNs);
        rates.push_back(bytes / (timer.nsecsElapsed() / 1e9) / 1e6);
    }
    return rates;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QObject owner;
    const std::vector<Maker> mix = trafficMix(&owner);

    std::vector<QRawData> frames;
    qint64 mixBytes = 0;
    for (const Maker &make : mix) {
        frames.push_back(WdxMessageGeneric::buildFrame(make()));
        mixBytes += frames.back().byteLen();
    }
    std::fprintf(stderr, "mix: %zu frames, %lld bytes, %.1f bytes per frame\n", frames.size(), mixBytes,
                 double(mixBytes) / double(frames.size()));

    const auto parseRates = measure([&] {
        qint64 bytes = 0;
        for (const QRawData &frame : frames) {
            WdxMessageGeneric m;
            const int n = WdxMessageGeneric::parse(frame, m);
            if (n != frame.byteLen() || !m.isValid()) {
                std::fprintf(stderr, "parse failed on %s\n", qPrintable(frame.toHex()));
                std::exit(0);
            }
            bytes += n;
        }
        return bytes;
    });

    const auto buildRates = measure([&] {
        qint64 bytes = 0;
        for (const Maker &make : mix)
            bytes += WdxMessageGeneric::buildFrame(make()).byteLen();
        return bytes;
    });

    // For the log only: the frame step alone, and a receiver that gets the mix in 63-byte
    // reports and drops each frame from the head of its buffer.
    std::vector<std::unique_ptr<WdxMessageGeneric>> built;
    for (const Maker &make : mix)
        built.emplace_back(new WdxMessageGeneric(make()));
    const auto frameOnlyRates = measure([&] {
        qint64 bytes = 0;
        for (const auto &m : built)
            bytes += WdxMessageGeneric::buildFrame(*m).byteLen();
        return bytes;
    });
    QRawData stream;
    for (const QRawData &frame : frames)
        stream.append(frame);
    const auto receiverRates = measure([&] {
        QRawData input;
        int frameCount = 0;
        for (int pos = 0; pos < stream.byteLen(); pos += 63) {
            input.append(stream.constData() + pos, qMin(63, stream.byteLen() - pos));
            for (;;) {
                WdxMessageGeneric m;
                const int n = WdxMessageGeneric::parse(input, m);
                if (n <= 0)
                    break;
                input = input.GetRange(n);
                frameCount += m.isValid() ? 1 : 0;
                if (input.isEmpty())
                    break;
            }
        }
        return frameCount == int(frames.size()) ? qint64(stream.byteLen()) : qint64(0);
    });

    const double parse = median(parseRates);
    const double build = median(buildRates);
    std::fprintf(stderr, "parse %.1f MB/s, build (builder + frame) %.1f MB/s, buildFrame alone %.1f MB/s, "
                         "receiver loop %.1f MB/s (medians of %d rounds)\n",
                 parse, build, median(frameOnlyRates), median(receiverRates), kRounds);

    std::printf("codec_parse_MBps %.1f\n", parse);
    std::printf("codec_build_MBps %.1f\n", build);
    std::printf("codec_vs_usb_pipe %.0f\n", std::min(parse, build) * 1e6 / kUsbPipeBytesPerSecond);
    return 0;
}
