// The hidapi C functions over the virtual bridge, with the real library's semantics as the
// application relies on them: return values, blocking reads with a time-out, -1 once the device is
// gone, and a reader thread and a writer thread working on one handle at the same time.

#include "SimCore.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>

using namespace VirtualWdx;
using namespace VirtualWdx::detail;

namespace {

const wchar_t *const kSuccess = L"Success";
const wchar_t *const kManufacturer = L"Orvo Audio";
const wchar_t *const kProduct = L"Wdx USB Interface";
const wchar_t *const kSerial = L"0001D4A2";
const char *const kPath = "virtual-wdx:0";

// hid_error() hands out these texts, which live forever, so no caller can see one change or vanish.
std::atomic<const wchar_t *> g_error{nullptr};

void setGlobalError(const wchar_t *text)
{
    g_error.store(text);
}

void setError(hid_device *dev, const wchar_t *text)
{
    dev->error.store(text);
}

wchar_t *copyOf(const wchar_t *s)
{
    const std::size_t n = std::wcslen(s) + 1;
    auto *out = static_cast<wchar_t *>(std::malloc(n * sizeof(wchar_t)));
    std::wmemcpy(out, s, n);
    return out;
}

hid_device_info *makeInfo(const Sim &sim)
{
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(kPath);
    info->vendor_id = sim.vendorId;
    info->product_id = sim.productId;
    info->serial_number = copyOf(kSerial);
    info->release_number = 0x0100;
    info->manufacturer_string = copyOf(kManufacturer);
    info->product_string = copyOf(kProduct);
    info->usage_page = 0xFF00;
    info->usage = 0x0001;
    info->interface_number = 0;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeInfo(hid_device_info *info)
{
    while (info) {
        hid_device_info *next = info->next;
        std::free(info->path);
        std::free(info->serial_number);
        std::free(info->manufacturer_string);
        std::free(info->product_string);
        std::free(info);
        info = next;
    }
}

bool matches(const Sim &sim, unsigned short vid, unsigned short pid)
{
    return sim.present() && (vid == 0 || vid == sim.vendorId) && (pid == 0 || pid == sim.productId);
}

// One hidapi call on a handle: holds the simulator's lock (released while waiting), brings the
// simulation up to now, and keeps hid_close from freeing the handle under the call.
class Call
{
public:
    explicit Call(hid_device *dev) : sim(Sim::get()), lock(sim.mutex), m_dev(dev)
    {
        valid = dev && sim.handles.count(dev) && !dev->closed;
        if (valid)
            ++dev->inCalls;
        else
            setGlobalError(L"Invalid device handle");
        sim.advance(Clock::now());
    }
    ~Call()
    {
        if (valid && --m_dev->inCalls == 0 && m_dev->closed)
            sim.notify();
    }
    bool alive() const { return valid && sim.alive(m_dev); }
    // Sleeps until `until` or any change, then brings the simulation up to date.
    void waitUntil(Time until)
    {
        sim.changed.wait_until(lock, until);
        sim.advance(Clock::now());
    }

    Sim &sim;
    std::unique_lock<std::mutex> lock;
    bool valid = false;

private:
    hid_device *m_dev;
};

int gone(hid_device *dev)
{
    if (dev)
        setError(dev, L"Device disconnected");
    return -1;
}

UsbEvent usbEvent(UsbKind kind, Time t, const unsigned char *data, std::size_t length, int result)
{
    UsbEvent e;
    e.time = t;
    e.kind = kind;
    if (data && length)
        e.bytes.assign(data, data + length);
    e.result = result;
    return e;
}

} // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    // The real library only releases its own bookkeeping here; open handles and the bus stay.
    setGlobalError(nullptr);
    return 0;
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    Sim &sim = Sim::get();
    std::lock_guard<std::mutex> lock(sim.mutex);
    const Time now = Clock::now();
    sim.advance(now);
    const bool found = matches(sim, vendor_id, product_id);
    UsbEvent e = usbEvent(UsbKind::Enumerate, now, nullptr, 0, found ? 1 : 0);
    e.vendorId = vendor_id;
    e.productId = product_id;
    sim.logUsb(std::move(e));
    if (!found) {
        setGlobalError(L"No HID devices with requested VID/PID found in the system.");
        return nullptr;
    }
    setGlobalError(nullptr);
    return makeInfo(sim);
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    freeInfo(devs);
}

static hid_device *openIf(bool found, unsigned short vid, unsigned short pid)
{
    Sim &sim = Sim::get();
    const Time now = Clock::now();
    hid_device *dev = nullptr;
    if (!found) {
        setGlobalError(L"Unable to open device");
    } else if (sim.faults.openFails) {
        setGlobalError(L"Permission denied");
    } else {
        dev = new hid_device;
        dev->generation = sim.generation;
        dev->info = makeInfo(sim);
        sim.handles.insert(dev);
        setGlobalError(nullptr);
    }
    UsbEvent e = usbEvent(UsbKind::Open, now, nullptr, 0, dev ? 0 : -1);
    e.vendorId = vid;
    e.productId = pid;
    sim.logUsb(std::move(e));
    return dev;
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t *serial_number)
{
    Sim &sim = Sim::get();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.advance(Clock::now());
    const bool found = matches(sim, vendor_id, product_id)
        && (serial_number == nullptr || std::wcscmp(serial_number, kSerial) == 0);
    return openIf(found, vendor_id, product_id);
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    Sim &sim = Sim::get();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.advance(Clock::now());
    const bool found = path && std::strcmp(path, kPath) == 0 && sim.present();
    return openIf(found, sim.vendorId, sim.productId);
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    Call call(dev);
    Sim &sim = call.sim;
    if (!call.valid)
        return -1;
    if (!call.alive())
        return gone(dev);
    if (!data || length < 2 || data[0] == 0 || data[0] > 63 || length < std::size_t(data[0]) + 1u) {
        setError(dev, L"Invalid output report");
        return -1;
    }
    // One interrupt transfer at a time, in call order.
    while (sim.writing) {
        call.waitUntil(Time::max());
        if (!call.alive())
            return gone(dev);
    }
    sim.writing = true;
    struct Release
    {
        Sim &sim;
        ~Release()
        {
            sim.writing = false;
            sim.notify();
        }
    } release{sim};

    // The OUT report goes in the next USB frame after the previous one.
    const Time called = Clock::now();
    Time slot = sim.gridCeil(called);
    if (sim.usbInterval() > Duration::zero() && slot <= sim.lastOut)
        slot = sim.lastOut + sim.usbInterval();
    sim.lastOut = slot;
    while (Clock::now() < slot) {
        call.waitUntil(slot);
        if (!call.alive())
            return gone(dev);
    }

    const std::size_t count = data[0];
    std::size_t take = count;
    int result = int(length);
    if (sim.faults.shortWrites > 0) {
        --sim.faults.shortWrites;
        const std::size_t accepted = (count + 1) / 2;   // report bytes, the id included
        take = accepted - 1;
        result = int(accepted);
        sim.logEvent(slot, "shortWrites fault: " + std::to_string(accepted) + " of " + std::to_string(count + 1)
                               + " report bytes taken");
    }

    if (!sim.uartEnabled) {
        sim.logEvent(slot, "UART disabled: " + std::to_string(take) + " bytes lost");
    } else if (take > 0) {
        // The TX FIFO takes bytes ahead of the line; wait while it has no room for this report.
        const std::size_t fifo = std::size_t(std::max(sim.timing.txFifoBytes, 63));
        while (sim.byteTime() > Duration::zero() && sim.toDevice.size() + take > fifo) {
            call.waitUntil(sim.toDevice[sim.toDevice.size() + take - fifo - 1].at);
            if (!call.alive())
                return gone(dev);
        }
        const Duration step = sim.byteTime();
        Time at = std::max({slot, sim.txLineFree, Clock::now()});
        for (std::size_t i = 0; i < take; ++i) {
            at += step;
            sim.toDevice.push_back({at, data[1 + i]});
        }
        sim.txLineFree = at;
    }
    sim.logUsb(usbEvent(UsbKind::Out, slot, data, length, result));
    sim.advance(Clock::now());
    sim.notify();
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    Call call(dev);
    Sim &sim = call.sim;
    if (!call.valid)
        return -1;
    if (!data || length < 2) {
        setError(dev, L"Invalid buffer");
        return -1;
    }
    const Time deadline = milliseconds < 0 ? Time::max() : Clock::now() + std::chrono::milliseconds(milliseconds);
    const Duration interval = sim.usbInterval();
    for (;;) {
        if (!call.alive())
            return gone(dev);
        const Time now = Clock::now();
        Time wake = deadline;
        if (!sim.toHost.empty()) {
            // The bridge forms an IN report at a USB frame once bytes wait; it carries what arrived by then.
            Time formed = interval > Duration::zero() ? sim.gridCeil(sim.toHost.front().at) : sim.toHost.front().at;
            if (interval > Duration::zero() && formed <= sim.lastIn)
                formed = sim.lastIn + interval;
            if (formed <= now) {
                const Time cutoff = interval > Duration::zero() ? formed : now;
                const std::size_t room = std::min<std::size_t>(63, length - 1);
                std::size_t n = 0;
                while (n < room && !sim.toHost.empty() && sim.toHost.front().at <= cutoff) {
                    data[1 + n] = sim.toHost.front().value;
                    sim.toHost.pop_front();
                    ++n;
                }
                data[0] = std::uint8_t(n);
                const std::size_t end = std::min<std::size_t>(length, 64);
                if (end > n + 1)
                    std::memset(data + n + 1, 0, end - n - 1);
                sim.lastIn = formed;
                sim.logUsb(usbEvent(UsbKind::In, formed, data, n + 1, int(n + 1)));
                return int(n + 1);
            }
            wake = std::min(wake, formed);
        }
        if (now >= deadline)
            return 0;
        wake = std::min(wake, sim.nextEvent());
        call.waitUntil(wake);
    }
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    bool nonBlocking = false;
    {
        Call call(dev);
        if (!call.valid)
            return -1;
        nonBlocking = dev->nonBlocking;
    }
    return hid_read_timeout(dev, data, length, nonBlocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device *dev, int nonblock)
{
    Call call(dev);
    if (!call.valid)
        return -1;
    dev->nonBlocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device *dev, const unsigned char *data, size_t length)
{
    Call call(dev);
    Sim &sim = call.sim;
    if (!call.valid)
        return -1;
    if (!call.alive())
        return gone(dev);
    const Time now = Clock::now();
    int result = -1;
    if (data && length >= 2) {
        if (data[0] == 0x41) {
            if (sim.faults.uartEnableFails) {
                sim.logEvent(now, "uartEnableFails fault");
                setError(dev, L"Broken pipe");
            } else if (data[1] <= 1 && sim.faults.uartEnableIgnored) {
                sim.logEvent(now, "uartEnableIgnored fault");
                result = int(length);
            } else if (data[1] <= 1) {
                if (sim.uartEnabled != (data[1] == 1))
                    sim.logEvent(now, data[1] ? "UART enabled" : "UART disabled");
                sim.uartEnabled = data[1] == 1;
                result = int(length);
            } else {
                setError(dev, L"Invalid UART enable value");
            }
        } else if (data[0] == 0x40) {
            // The CP2110 resets and enumerates again, UART disabled.
            result = int(length);
            sim.logEvent(now, "bridge reset");
            sim.setBridgeUp(now, false, "bridge reset");
            sim.schedule(now + std::chrono::milliseconds(sim.timing.bridgeResetMs),
                         [&sim](Time at) { sim.setBridgeUp(at, true, "bridge reset"); });
        } else {
            setError(dev, L"Unsupported feature report");
        }
    } else {
        setError(dev, L"Invalid feature report");
    }
    sim.logUsb(usbEvent(UsbKind::SetFeature, now, data, data ? length : 0, result));
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device *dev, unsigned char *data, size_t length)
{
    Call call(dev);
    Sim &sim = call.sim;
    if (!call.valid)
        return -1;
    if (!call.alive())
        return gone(dev);
    int result = -1;
    if (data && length >= 2 && data[0] == 0x41 && sim.faults.uartStateFails) {
        sim.logEvent(Clock::now(), "uartStateFails fault");
        setError(dev, L"Broken pipe");
    } else if (data && length >= 2 && data[0] == 0x41) {
        data[1] = sim.uartEnabled ? 1 : 0;
        result = 2;
    } else {
        setError(dev, L"Unsupported feature report");
    }
    sim.logUsb(usbEvent(UsbKind::GetFeature, Clock::now(), data, result > 0 ? std::size_t(result) : 0, result));
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device *dev, unsigned char *, size_t)
{
    Call call(dev);
    if (call.valid)
        setError(dev, L"Input reports are read from the interrupt pipe");
    return -1;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    Sim &sim = Sim::get();
    std::unique_lock<std::mutex> lock(sim.mutex);
    if (!dev || !sim.handles.count(dev) || dev->closed)
        return;
    dev->closed = true;
    sim.notify();
    // A reader blocked in hid_read_timeout on another thread returns -1 first.
    sim.changed.wait(lock, [dev] { return dev->inCalls == 0; });
    sim.handles.erase(dev);
    sim.logUsb(usbEvent(UsbKind::Close, Clock::now(), nullptr, 0, 0));
    freeInfo(dev->info);
    delete dev;
}

static int copyString(hid_device *dev, const wchar_t *value, wchar_t *string, size_t maxlen)
{
    Call call(dev);
    if (!call.valid || !string || maxlen == 0)
        return -1;
    std::wcsncpy(string, value, maxlen);
    string[maxlen - 1] = L'\0';
    return 0;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, kManufacturer, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, kProduct, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, kSerial, string, maxlen);
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_get_device_info(hid_device *dev)
{
    Call call(dev);
    return call.valid ? dev->info : nullptr;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device *dev, int, wchar_t *, size_t)
{
    Call call(dev);
    if (call.valid)
        setError(dev, L"Indexed strings are not supported");
    return -1;
}

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    const wchar_t *text = nullptr;
    if (!dev) {
        text = g_error.load();
    } else {
        Sim &sim = Sim::get();
        std::lock_guard<std::mutex> lock(sim.mutex);
        if (sim.handles.count(dev))
            text = dev->error.load();
        else
            text = L"Invalid device handle";
    }
    return text ? text : kSuccess;
}

HID_API_EXPORT const struct hid_api_version *HID_API_CALL hid_version(void)
{
    static const hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char *HID_API_CALL hid_version_str(void)
{
    return HID_API_VERSION_STR;
}

} // extern "C"
