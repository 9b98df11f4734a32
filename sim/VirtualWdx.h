#pragma once

// The virtual Wdx: a simulated CP2110 USB HID-to-UART bridge with a Wdx device behind it.
//
// The library `velasim` implements the hidapi C functions (hid_enumerate, hid_open, hid_read_timeout,
// hid_write, the feature reports, ...) over this one virtual bridge and links in place of the
// system's libhidapi. The application cannot tell it from a real link; this header is the other
// side, for tests and the demo: plug and unplug the bridge, read and set the device's values, turn
// faults on, and read what crossed the wire.
//
// Every function here is thread-safe and may be called while the application's reader and writer
// threads are inside hidapi calls. Call reset() at the start of every test case.
//
// Bridge: listed by hid_enumerate only while plugged in (and not restarting). Feature report 0x41
// sets/gets UART enable; bytes pass only while it is enabled. Feature report 0x40 resets the bridge:
// it drops off the bus and comes back after Timing::bridgeResetMs with its UART disabled. Interrupt
// OUT reports are [n][n bytes] (n = 1..63, the report id); IN reports are [n][n bytes][zero padding]
// and hid_read returns n + 1, the report's own length. A handle dies when the bridge leaves the bus:
// reads, writes and feature reports on it return -1 from then on (a blocked read returns at once),
// until hid_close. hid_close may be called while another thread is blocked in a read on the handle.
//
// Timing model (all of it configurable, see Timing):
//  - USB: with usbIntervalUs > 0 the interrupt pipes run on a frame grid. hid_write returns at the
//    next grid instant (one OUT report per interval); an IN report is formed at the first grid
//    instant at which bytes are waiting and carries those that had arrived by then (at most 63).
//  - UART: each byte takes bitsPerByte / baud seconds on the line, in both directions. The bridge's
//    TX FIFO (txFifoBytes) takes bytes ahead of the line; hid_write blocks while it is full.
//  - Device: a request is handled when its last byte has arrived; its answer starts latencyUs later
//    (plus a seeded random 0..latencyJitterUs) and queues behind any answer still on the line.
//  - Timing::instant() makes the line and the device free (benchmarks, long tests) and shortens the
//    device's restart times.
//
// Device life cycle: the device is mains powered; unplugging the USB cable does not stop it, it
// keeps its settings and its run mode (only a firmware download in progress is abandoned). A reboot
// (Null Command write, or reboot()) and the restart after a main image is applied make the bridge
// leave the bus rebootLeaveMs later (0 after an image) and return rebootAbsentMs after that, with
// the device in its boot loader ("boot mode"). Unless a Null Command read arrives within
// bootWindowMs (the boot-stage lock, which holds it in boot mode until the next restart), it then
// starts its main firmware ("main mode"). In boot mode only the Null Command, Device Info and
// Device Firmware families are answered; the settings families get a negative acknowledgement.
// Faults::bootLoaderFault keeps it in boot mode until a main image is applied.
//
// Protocol: requests are answered the way the application's settings families accept them. Writes
// are acknowledged (CMD 0x81, DATA = the sub-code; unlock and lock [sub-code, 01|00]; firmware
// state [sub-code, state]; blocks [sub-code, id]) and change the state. Refused requests get a
// negative acknowledgement (CMD 0xC0/0xC1, DATA = the sub-code): an unknown OP or sub-code, a wrong
// DATA length, a value out of its range (gain > 72, delay > 2280, threshold > 120, ratio > 10, EQ
// frequency > 120, EQ gain > 72, Q > 40, EQ band type > 7, pre-processing patch > 63, an enable
// byte other than 0/1),
// a settings write while locked, a speaker variant write in hardware mode (hwMode != 1), a lock
// while locked or with an empty PIN, and a family this type of Wdx lacks. The type is derived from
// the name as the application derives it: of its first 7 characters, ending in "-T-U" 0, "-T-N" 1,
// "-I-U" 2, "-I-N" 3, anything else (or a name shorter than 14 characters) 255. Only types 0 and 1
// have front-panel gains (Gain Settings read, sub-code 0x80); only types 1 and 3 have the digital
// mux (Device Specific Functions, sub-code 0x00, read and write). The status and lock texts are
// "main mode"/"boot mode" and "unlocked"/"locked" unless DeviceState::statusText / securityText
// say otherwise. The Null Command write (reboot) and the firmware closing states (0x81..0x83) are
// never answered, as the application sends them expecting no reply.
//
// Answer rules (addAnswerRule) aim a fault at chosen requests: drop, error bit, bad checksum, or an
// answer rewritten field by field. They act on answers only; the request still takes effect.
//
// Firmware: the main channel (Main Status/Main Block) accepts opening state 1 only in boot mode; the
// DSP channel accepts 1 (DSP image), 2 (main-speaker preset) and 3 (sub preset). Blocks are kept by
// channel and 8-bit id (a write while no download is open, or a read of an unknown id, is refused).
// A closing state must match the opening (1 -> 0x81, 2 -> 0x82, 3 -> 0x83) and its size must equal
// the received bytes modulo 65536; otherwise the download is discarded. The checksum bytes are kept,
// not checked. A main image is applied after mainApplyMs (the device does not answer meanwhile),
// then the device restarts. A DSP image or a preset leaves the device busy, answering nothing, for
// dspBusyMs / presetBusyMs, then it is applied. An image's version is the four characters that
// follow the tag "WDXVER" in its bytes, or DeviceState::fallbackImageVersion when it has none. A
// preset's id is the first three bytes of its block 0; it becomes mainPreset or subPreset, and its
// version the first or second half of the preset version text "main/sub".

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace VirtualWdx {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;   // CLOCK_MONOTONIC, the same as QElapsedTimer's

constexpr std::uint16_t kVendorId = 0x2B42;
constexpr std::uint16_t kProductId = 0x0045;

struct Timing
{
    int baud = 115200;            // 0: unlimited
    int bitsPerByte = 10;         // start + 8 data + stop
    int latencyUs = 1000;         // last request byte in -> first answer byte out
    int latencyJitterUs = 0;      // plus a seeded random 0..jitter
    int usbIntervalUs = 1000;     // full-speed interrupt pipe; 0: no frame grid
    int txFifoBytes = 480;        // bridge TX FIFO ahead of the UART
    int frameGapMs = 50;          // the device drops a partial request after this much silence
    int rebootLeaveMs = 300;      // reboot request -> bridge leaves the bus
    int rebootAbsentMs = 1000;    // time off the bus during a restart
    int bootWindowMs = 2000;      // boot loader waits this long for a Null Command read
    int mainApplyMs = 2000;       // main image closed -> restart
    int dspBusyMs = 3000;         // DSP image closed -> answering again
    int presetBusyMs = 1000;      // preset closed -> answering again
    int bridgeResetMs = 500;      // feature report 0x40 -> back on the bus
    int minRequestGapUs = 9000;   // requests starting closer than this are flagged Crowded: the
                                  // host's 10 ms spacing less one USB frame

    // Unlimited baud, no latency, no USB grid, short restarts (the boot window stays long enough
    // for the application to catch the boot loader).
    static Timing instant();
};

// Every probability is drawn from one random source seeded with `seed`; setFaults() reseeds it, so
// the same faults against the same traffic replay the same run.
struct Faults
{
    std::uint32_t seed = 1;
    double dropReply = 0;         // an answer is not sent
    double corruptChecksum = 0;   // an answer's checksum is off by one
    double errorBit = 0;          // an answer carries the error bit (CMD bit 6)
    double splitReply = 0;        // an answer goes out in two pieces...
    int splitGapMs = 20;          // ...with this pause between them
    double noise = 0;             // 1..noiseBytes noise bytes (never 0x55 or 0xAA) precede an answer
    int noiseBytes = 3;
    bool stayInBootMode = false;  // the device is stuck in its boot loader while set
    bool bootLoaderFault = false; // as stayInBootMode (at once and after every restart), but a main
                                  // image that the device applies clears it (an Event says so), so
                                  // the restart after the upload starts the main firmware
    bool silentStatus = false;    // "Device status" reads are never answered
    int unplugAfterFrames = 0;    // > 0: unplug once that many more requests reached the device
    int replugAfterMs = -1;       // >= 0: such an unplug plugs back in after this long
    int shortWrites = 0;          // the next n interrupt writes are cut short (about half is taken)
    bool uartEnableFails = false; // setting feature report 0x41 fails (-1)
    bool uartEnableIgnored = false; // setting feature report 0x41 succeeds but the UART keeps its state
    bool uartStateFails = false;  // getting feature report 0x41 fails (-1)
    bool openFails = false;       // hid_open/hid_open_path fail although the bridge is listed
};

struct EqBand
{
    std::uint8_t control = 0;     // type bits 0-5, enabled bit 6, used bit 7
    std::uint8_t frequency = 0;   // 0..120
    std::uint8_t gain = 36;       // 0..72
    std::uint8_t qualityFactor = 20; // 0..40
    bool operator==(const EqBand &o) const
    {
        return control == o.control && frequency == o.frequency && gain == o.gain && qualityFactor == o.qualityFactor;
    }
};

struct Eq
{
    bool enabled = false;
    std::array<EqBand, 8> bands{};
};

struct Compressor
{
    std::uint8_t ratio = 0;       // 0..10
    std::uint8_t decay = 0;       // device code, any value
    std::uint8_t threshold = 120; // 0..120
    bool enabled = false;
};

// The device's values, factory defaults as given. Settings survive unplugging and restarts; only
// reset() restores these defaults.
struct DeviceState
{
    std::string name = "WDX-T-N 004217";  // first 7 characters: the type code; last 6: the serial
    std::string type = "WDX-T-N";         // "Device Type" answer
    std::string serial = "004217";        // "Serial Number" answer
    std::string mainVersion = "2.01";
    std::string dspVersion = "2.01";
    std::string mainPresetVersion = "2.01"; // the preset version answer is "main/sub"
    std::string subPresetVersion = "2.01";
    std::string fallbackImageVersion = "2.01"; // given to an uploaded image without a version tag
    bool locked = false;
    std::string pin = "0000";
    std::array<std::uint8_t, 3> outputGains{{36, 36, 36}};
    std::array<std::uint8_t, 3> frontPanelGains{{36, 36, 36}};
    std::array<std::uint16_t, 3> outputDelays{};
    std::array<std::uint16_t, 6> inputDelays{};
    std::array<std::uint8_t, 2> preProcessingPatches{{0x01, 0x02}}; // bit i: input i
    std::array<std::uint8_t, 3> outputPatches{{0, 2, 1}};           // 0 left, 1 right, 2 both
    std::array<Eq, 2> eqs{};
    std::array<Compressor, 3> compressors{};
    std::string mainPreset = "AA1";       // three characters each: mode ids of the speaker catalogue
    std::string subPreset = "AS1";
    std::uint8_t hwMode = 1;              // 1: software mode, anything else: hardware switch
    std::uint8_t mainMode = 0;
    std::uint8_t subMode = 0;
    std::uint8_t digitalMux = 1;
    std::uint16_t networkDelayCompensation = 0;
    // Answered for Device Info 0x04 / 0x05 when not empty, instead of the derived texts; what the
    // device does (boot mode refusals, locked edits) still follows its mode and `locked`.
    std::string statusText;
    std::string securityText;
    // Meters: while moving they follow a plausible programme computed from the inputs, patches,
    // gains and compressors; otherwise the arrays below are answered as they stand. state()
    // reports the values a read would answer at that moment.
    bool metersMoving = true;
    std::array<std::uint8_t, 6> inputMeters{};
    std::array<std::uint8_t, 3> outputMeters{};
    std::array<std::uint8_t, 3> compressorMeters{};
};

enum class RunMode { Main, Boot, Restarting };

struct Status
{
    bool plugged = false;         // the USB cable is in
    bool enumerated = false;      // hid_enumerate lists the bridge
    std::uint16_t vendorId = kVendorId;
    std::uint16_t productId = kProductId;
    bool uartEnabled = false;
    int openHandles = 0;
    RunMode mode = RunMode::Main; // as the device reports it (stayInBootMode, bootLoaderFault count as Boot)
    bool bootLocked = false;      // held in boot mode by a Null Command read
    bool busy = false;            // applying an image, answering nothing
    std::uint8_t mainFwState = 0;
    std::uint8_t dspFwState = 0;
    int requestsReceived = 0;     // valid frames that reached the device since reset()
    int answersSent = 0;          // answers that went on the wire since reset()
};

enum class ImageKind { Main, Dsp, MainPreset, SubPreset };

// The last image of a kind that the device accepted and applied.
struct Image
{
    bool present = false;
    std::map<std::uint8_t, Bytes> blocks; // by wire id, as the device received them
    std::uint16_t size = 0;               // from the closing request
    std::array<std::uint8_t, 4> checksum{};
    std::string version;
    std::string presetId;                 // presets only
};

enum class Direction { ToDevice, FromDevice };

enum class Kind {
    Frame,        // a whole frame (to the device: checksum right)
    BadChecksum,  // to the device: a whole frame whose checksum is wrong (ignored)
    Incomplete,   // to the device: the start of a frame dropped after frameGapMs of silence
    Noise,        // bytes that start no frame (to the device: skipped; from it: noise or injected)
    Event         // plug, unplug, reboot, mode changes, UART enable, images, faults... (see text)
};

enum Flag : unsigned {
    Dropped = 1u << 0,         // an answer the dropReply fault or a Drop rule swallowed: never on the wire
    CorruptChecksum = 1u << 1, // sent with its checksum off by one
    ErrorBit = 1u << 2,        // sent with the error bit by the errorBit fault or an ErrorBit rule
    Split = 1u << 3,           // sent in two pieces, `splitAt` bytes first
    Lost = 1u << 4,            // sent while the bridge was away or its UART disabled
    Unanswered = 1u << 5,      // a request the device did not answer; `text` says why
    Injected = 1u << 6,        // put on the wire by injectFromDevice()
    Overridden = 1u << 7,      // an answer rewritten by an Override answer rule
    Crowded = 1u << 8          // to the device: a whole frame that began less than
                               // Timing::minRequestGapUs after the previous one began
};

struct WireEntry
{
    Clock::time_point begin;      // first byte at the device (to it) / first byte on the line (from it)
    Clock::time_point end;        // last byte at the device / at the bridge
    Direction direction = Direction::ToDevice;
    Kind kind = Kind::Event;
    Bytes bytes;                  // as they travelled
    std::uint8_t cmd = 0;         // frames only
    std::uint8_t op = 0;
    Bytes data;
    unsigned flags = 0;
    std::size_t splitAt = 0;
    std::string text;

    bool has(Flag f) const { return flags & f; }
    int subCode() const { return data.empty() ? -1 : data[0]; }
};

enum class UsbKind { Enumerate, Open, Close, Out, In, SetFeature, GetFeature };

// One hidapi call that reached the bridge (reads that timed out are not listed).
struct UsbEvent
{
    Clock::time_point time;
    UsbKind kind = UsbKind::Enumerate;
    std::uint16_t vendorId = 0;   // Enumerate and Open: the ids asked for
    std::uint16_t productId = 0;
    Bytes bytes;                  // Out: the report as written; In, features: as returned
    int result = 0;               // the call's return value
};

// --- Life cycle -----------------------------------------------------------------------------
// Unplugs the bridge, kills every handle, restores the factory DeviceState, Timing and Faults,
// drops the answer rules, empties both logs and reseeds the random source.
void reset();
// Plugs the bridge in (ids of the connection monitor's lists, or any other). Plugging an already
// plugged bridge changes nothing.
void plug(std::uint16_t vendorId = kVendorId, std::uint16_t productId = kProductId);
void unplug();
// Unplugs now and plugs back in (same ids) after `ms`.
void replugAfter(int ms);
// Restarts the device as a Null Command write does.
void reboot();

// --- Configuration ----------------------------------------------------------------------------
Timing timing();
void setTiming(const Timing &timing);
Faults faults();              // counters (unplugAfterFrames, shortWrites) as they now stand
void setFaults(const Faults &faults);

// An aimed fault: it acts on the answers to the requests it matches (-1 matches anything). Only
// requests the device answers count, negative acknowledgements included; the request itself still
// takes effect (a write whose answer is dropped has changed the device, as when a reply is lost on
// a real line). An answer a rule acts on takes none of the random answer faults and draws nothing
// from the random source, so the other answers keep their seeded fate. Its wire entry says
// "answer rule" and carries Dropped, ErrorBit, CorruptChecksum or Overridden.
// "The next N answers": all filters -1 and count N.
struct AnswerRule
{
    int cmd = -1;       // the request's access kind (CMD low four bits: 0 read, 1 write); -1 any
    int op = -1;        // the request's OP; -1 any
    int subCode = -1;   // the request's first DATA byte; -1 any
    int count = -1;     // how many matching requests it takes; -1 every one
    enum class Action { Drop, ErrorBit, CorruptChecksum, Override } action = Action::Drop;
    // Override: the answer the device would give, changed as set here.
    int replyCmd = -1;  // whole CMD byte of the answer; -1 keeps it
    int replyOp = -1;   // -1 keeps it
    bool replaceData = false; // true: the answer's DATA is `data` instead (NB and checksum follow)
    Bytes data;
};
// Rules are tried in the order added; the first live one that matches applies and uses up one of
// its count.
void addAnswerRule(const AnswerRule &rule);
void clearAnswerRules();      // reset() clears them too

// --- Device values ----------------------------------------------------------------------------
DeviceState state();
void setState(const DeviceState &state);
// Read-modify-write under the simulator's lock: update([](DeviceState &s) { s.locked = true; });
// The edit must not call back into this API.
void update(const std::function<void(DeviceState &)> &edit);
Status status();
Image image(ImageKind kind);

// --- Wire --------------------------------------------------------------------------------------
// Puts raw bytes on the line from the device to the host now (after any answer still on it).
void injectFromDevice(const Bytes &bytes);
std::vector<WireEntry> wireLog();
// The whole frames that travelled in `direction` (not dropped, not lost), filtered by CMD, OP and
// first DATA byte (-1: any). Example: frames(Direction::ToDevice, 0x01, 0x03, 0x40) are the output
// gain writes that reached the device.
std::vector<WireEntry> frames(Direction direction, int cmd = -1, int op = -1, int subCode = -1);
std::vector<UsbEvent> usbLog();
// Frames to the device flagged Crowded since reset() or clearLogs().
int crowdedFrames();
void clearLogs();

// Lower-case hexadecimal pairs separated by blanks, for failure messages.
std::string toHex(const Bytes &bytes);
// A whole frame (SOF 0x55, NB, CMD, OP, DATA, checksum), for injecting answers in tests.
Bytes frame(std::uint8_t cmd, std::uint8_t op, const Bytes &data);

} // namespace VirtualWdx
