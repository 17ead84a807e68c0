#include "libusb_emulated_usb.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace corvalis::test {
namespace {

constexpr std::size_t kSetupBytes = 8;
constexpr std::uint8_t kVendorOut = 0x40;  // host-to-device, vendor, device
constexpr std::size_t kRequestBytes = 10;

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        text += digits;
    }
    return text;
}

void putLe16(std::vector<std::uint8_t>& out, std::size_t at, unsigned value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

struct Endpoint {
    std::uint8_t address, attributes;
    unsigned maxPacket;
    std::uint8_t interval;
};

// Device descriptor followed by the one configuration with one interface, as the
// kernel's sysfs "descriptors" file holds them (bus-endian).
std::vector<std::uint8_t> descriptors(std::uint16_t vendor, std::uint16_t product,
                                      std::uint8_t deviceClass, std::uint8_t interfaceClass,
                                      const std::vector<Endpoint>& endpoints) {
    std::vector<std::uint8_t> d = {18, 1, 0x00, 0x02, deviceClass, 0, 0, 64, 0,
                                   0,  0, 0,    0x00, 0x01,        0, 0, 0,  1};
    putLe16(d, 8, vendor);
    putLe16(d, 10, product);
    const std::size_t config = d.size();
    d.insert(d.end(), {9, 2, 0, 0, 1, 1, 0, 0x80, 250});
    d.insert(d.end(),
             {9, 4, 0, 0, static_cast<std::uint8_t>(endpoints.size()), interfaceClass, 0, 0, 0});
    for (const Endpoint& e : endpoints) {
        d.insert(d.end(), {7, 5, e.address, e.attributes, 0, 0, e.interval});
        putLe16(d, d.size() - 3, e.maxPacket);
    }
    putLe16(d, config + 2, static_cast<unsigned>(d.size() - config));
    return d;
}

std::vector<std::uint8_t> hubDescriptors() {
    return descriptors(0x1d6b, 0x0002, 9, 9, {{0x81, 3, 4, 12}});
}

std::vector<std::uint8_t> cameraDescriptors() {
    return descriptors(0x0547, 0xD002, 0, 0xFF,
                       {{EmulatedCamera::kInterruptIn, 3, 8, 10},
                        {EmulatedCamera::kBulkOut, 2, 512, 0},
                        {EmulatedCamera::kBulkIn, 2, 512, 0},
                        {EmulatedCamera::kSecondBulkIn, 2, 512, 0}});
}

// A sysfs record in umockdev-record's text form.
std::string record(const std::string& sysPath, int bus, int devnum,
                   const std::vector<std::uint8_t>& desc, std::uint16_t vendor,
                   std::uint16_t product) {
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", bus, devnum);
    char ids[64];
    std::snprintf(ids, sizeof ids, "A: idVendor=%04x\\n\nA: idProduct=%04x\\n\n", vendor, product);
    const std::string b = std::to_string(bus), n = std::to_string(devnum);
    char padded[16];
    std::snprintf(padded, sizeof padded, "%03d", devnum);
    char paddedBus[16];
    std::snprintf(paddedBus, sizeof paddedBus, "%03d", bus);
    return "P: " + sysPath + "\nN: " + node +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/" + node +
           "\nE: BUSNUM=" + paddedBus + "\nE: DEVNUM=" + padded + "\nA: busnum=" + b +
           "\\n\nA: devnum=" + n +
           "\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\nA: dev=189:" +
           std::to_string((bus - 1) * 128 + devnum - 1) + "\\n\n" + ids +
           "H: descriptors=" + hex(desc) + "\n\n";
}

}  // namespace

// One submitted URB. The umockdev data objects are the URB and its buffer as the
// client process has them; they are written back when the URB is reaped.
struct EmulatedCamera::Urb {
    ~Urb() {
        if (buffer) g_object_unref(buffer);
        if (urb) g_object_unref(urb);
    }
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;
    unsigned char type = 0, endpoint = 0;
    int length = 0;
    bool done = false;
    int status = 0;
    std::vector<std::uint8_t> payload;  // bytes to hand back for an IN transfer
    int actualLength = 0;
};

EmulatedCamera::EmulatedCamera(UMockdevTestbed* testbed, std::string devNode,
                               const platform::sim::StarField& scene)
    : testbed_(testbed), devNode_(std::move(devNode)), model_(scene) {
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedCamera::onIoctl), this);
    g_signal_connect(handler_, "handle-read", G_CALLBACK(&EmulatedCamera::onReadWrite), this);
    g_signal_connect(handler_, "handle-write", G_CALLBACK(&EmulatedCamera::onReadWrite), this);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, devNode_.c_str(), handler_, &error)) {
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot attach the usbdevfs handler to " + devNode_ + ": " +
                                 message);
    }
}

EmulatedCamera::~EmulatedCamera() {
    umockdev_testbed_detach_ioctl(testbed_, devNode_.c_str(), nullptr);
    closing_.store(true);
    model_.wake();
    for (std::thread& reader : readers_) reader.join();
    g_signal_handlers_disconnect_by_data(handler_, this);
    g_object_unref(handler_);
}

std::vector<EmulatedCamera::ControlTransfer> EmulatedCamera::controlTransfers() const {
    std::lock_guard lock(mutex_);
    return controls_;
}

std::vector<std::uint8_t> EmulatedCamera::bulkEndpointsRead() const {
    std::lock_guard lock(mutex_);
    return bulkEndpoints_;
}

int EmulatedCamera::discardedUrbs() const {
    std::lock_guard lock(mutex_);
    return discarded_;
}

int EmulatedCamera::claimedInterfaces() const {
    std::lock_guard lock(mutex_);
    return claimed_;
}

std::vector<std::string> EmulatedCamera::unhandled() const {
    std::lock_guard lock(mutex_);
    return unhandled_;
}

void EmulatedCamera::disconnect() {
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        for (auto& urb : urbs_) {
            if (urb->done) continue;
            urb->done = true;
            urb->status = -ESHUTDOWN;
            urb->payload.clear();
        }
    }
    model_.markUnplugged();
}

void EmulatedCamera::abortTransfers() {
    {
        std::lock_guard lock(mutex_);
        for (auto& urb : urbs_) {
            if (urb->done) continue;
            urb->done = true;
            urb->status = -EPROTO;
            urb->payload.clear();
        }
    }
    model_.cancelReads();
}

void EmulatedCamera::noteUnhandled(std::string what) {
    std::lock_guard lock(mutex_);
    unhandled_.push_back(std::move(what));
}

// umockdev calls these on its own worker thread, one request at a time.
gboolean EmulatedCamera::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<EmulatedCamera*>(self)->handle(client);
    return TRUE;
}

gboolean EmulatedCamera::onReadWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                     gpointer self) {
    // libusb reads descriptors from sysfs; touching the node itself is unexpected.
    static_cast<EmulatedCamera*>(self)->noteUnhandled("read or write on the device node");
    umockdev_ioctl_client_complete(client, -1, EIO);
    return TRUE;
}

void EmulatedCamera::handle(UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
            if (!caps) break;
            // One URB per bulk transfer, however long, as a current kernel allows.
            const std::uint32_t value = USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            std::memcpy(caps->data, &value, sizeof value);
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
        case USBDEVFS_CLAIMINTERFACE:
            claim(client, arg, 1);
            return;
        case USBDEVFS_RELEASEINTERFACE:
            claim(client, arg, -1);
            return;
        case USBDEVFS_SUBMITURB:
            submit(client, arg);
            return;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            reap(client, arg);
            return;
        case USBDEVFS_DISCARDURB:
            discard(client, arg);
            return;
        default: {
            char text[48];
            std::snprintf(text, sizeof text, "ioctl 0x%lx", request);
            noteUnhandled(text);
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return;
        }
    }
    umockdev_ioctl_client_complete(client, -1, EFAULT);
}

void EmulatedCamera::claim(UMockdevIoctlClient* client, UMockdevIoctlData* arg, int change) {
    UMockdevIoctlData* number = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
    if (!number) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    unsigned int interface = 0;
    std::memcpy(&interface, number->data, sizeof interface);
    std::lock_guard lock(mutex_);
    if (gone_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
    } else if (interface != 0) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);  // the camera has one interface
    } else {
        claimed_ += change;
        umockdev_ioctl_client_complete(client, 0, 0);
    }
}

void EmulatedCamera::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (!urbData || urbData->data_len < static_cast<int>(sizeof(usbdevfs_urb))) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    usbdevfs_urb header;
    std::memcpy(&header, urbData->data, sizeof header);
    {
        std::lock_guard lock(mutex_);
        if (gone_) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return;
        }
    }
    if (header.buffer_length < 0) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    auto urb = std::make_shared<Urb>();
    urb->urb = static_cast<UMockdevIoctlData*>(g_object_ref(urbData));
    urb->type = header.type;
    urb->endpoint = header.endpoint;
    urb->length = header.buffer_length;
    if (header.buffer_length > 0) {
        UMockdevIoctlData* buffer =
            umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                        static_cast<gsize>(header.buffer_length), nullptr);
        if (!buffer || buffer->data_len != header.buffer_length) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        urb->buffer = static_cast<UMockdevIoctlData*>(g_object_ref(buffer));
    }

    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        if (urb->length < static_cast<int>(kSetupBytes)) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return;
        }
        submitControl(*urb);
    } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == kBulkIn) {
        std::lock_guard lock(mutex_);
        bulkEndpoints_.push_back(urb->endpoint);
        // The model blocks until the frame is read out, so it serves the URB on a
        // thread of its own while this handler keeps answering.
        readers_.emplace_back([this, urb] {
            std::vector<std::uint8_t> frame(static_cast<std::size_t>(urb->length));
            const std::size_t read = model_.bulkRead(frame.data(), frame.size(), closing_);
            const bool plugged = model_.plugged();
            std::lock_guard readerLock(mutex_);
            if (urb->done) return;  // discarded or unplugged meanwhile
            frame.resize(std::min(read, frame.size()));
            urb->actualLength = static_cast<int>(frame.size());
            urb->payload = std::move(frame);
            urb->status = plugged ? 0 : -ESHUTDOWN;
            urb->done = true;
        });
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "URB type %u on endpoint 0x%02x", urb->type,
                      urb->endpoint);
        noteUnhandled(text);
        if (urb->type == USBDEVFS_URB_TYPE_BULK) {
            std::lock_guard lock(mutex_);
            bulkEndpoints_.push_back(urb->endpoint);
        }
        urb->status = -EPIPE;
        urb->done = true;
    }
    std::lock_guard lock(mutex_);
    urbs_.push_back(std::move(urb));
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedCamera::submitControl(Urb& urb) {
    const std::uint8_t* bytes = urb.buffer->data;
    ControlTransfer control;
    control.requestType = bytes[0];
    control.request = bytes[1];
    control.value = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
    control.index = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
    control.length = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
    const std::size_t stage =
        std::min<std::size_t>(control.length, static_cast<std::size_t>(urb.length) - kSetupBytes);
    control.data.assign(bytes + kSetupBytes, bytes + kSetupBytes + stage);
    {
        std::lock_guard lock(mutex_);
        controls_.push_back(control);
    }
    urb.done = true;
    if (control.requestType != kVendorOut || control.length != kRequestBytes ||
        stage != kRequestBytes) {
        noteUnhandled("control request type 0x" + std::to_string(control.requestType) +
                      " request " + std::to_string(control.request));
        urb.status = -EPIPE;
        return;
    }
    platform::usb::VendorRequestBytes request;
    std::copy(control.data.begin(), control.data.end(), request.begin());
    const int result = model_.vendorRequest(request);
    // The camera stalls what it does not take; gone, it is gone.
    urb.status = result == 1 ? 0 : result == 0 ? -EPIPE : -ESHUTDOWN;
    urb.actualLength = result == 1 ? static_cast<int>(kRequestBytes) : 0;
}

void EmulatedCamera::reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    if (!slot) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    std::shared_ptr<Urb> urb;
    bool gone = false;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(urbs_.begin(), urbs_.end(), [](const auto& u) { return u->done; });
        if (it != urbs_.end()) {
            urb = *it;
            urbs_.erase(it);
        }
        gone = gone_ && urbs_.empty();
    }
    if (!urb) {
        // The emulated node always polls ready, so libusb asks again at once: pause
        // briefly rather than let it spin.
        usleep(1000);
        umockdev_ioctl_client_complete(client, -1, gone ? ENODEV : EAGAIN);
        return;
    }
    auto* header = reinterpret_cast<usbdevfs_urb*>(urb->urb->data);
    header->status = urb->status;
    header->actual_length = urb->actualLength;
    if (urb->buffer && !urb->payload.empty() && (urb->endpoint & 0x80) != 0) {
        const std::size_t n =
            std::min(urb->payload.size(), static_cast<std::size_t>(urb->buffer->data_len));
        std::memcpy(urb->buffer->data, urb->payload.data(), n);
    }
    umockdev_ioctl_data_set_ptr(slot, 0, urb->urb);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedCamera::discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    // The argument is the URB's address in the client itself.
    unsigned long address = 0;
    if (arg->data_len < static_cast<int>(sizeof address)) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    std::memcpy(&address, arg->data, sizeof address);
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        for (auto& urb : urbs_) {
            if (urb->done || urb->urb->client_addr != address) continue;
            urb->done = true;
            urb->status = -ENOENT;
            urb->payload.clear();
            urb->actualLength = 0;
            ++discarded_;
            found = true;
            break;
        }
    }
    if (found) model_.cancelReads();  // the reader thread stops waiting for the frame
    umockdev_ioctl_client_complete(client, found ? 0 : -1, found ? 0 : EINVAL);
}

EmulatedUsb::EmulatedUsb()
    : testbed_(umockdev_testbed_new()), scene_([] {
          platform::sim::StarField::Options options = platform::sim::StarField::defaultOptions();
          options.seed = 20240611;
          return options;
      }()) {
    const std::string root1 = "/devices/pci0000:00/0000:00:14.0/usb1";
    const std::string root2 = "/devices/pci0000:00/0000:00:1d.0/usb2";
    add(record(root1, 1, 1, hubDescriptors(), 0x1d6b, 0x0002));
    add(record(root1 + "/1-" + std::to_string(kHubPort), 1, 2, hubDescriptors(), 0x1d6b, 0x0002));
    add(record(root2, 2, 1, hubDescriptors(), 0x1d6b, 0x0002));
    add(record(
        root2 + "/2-1", 2, 3,
        descriptors(kOtherVendor, kOtherProduct, 0, 0xFF, {{0x81, 3, 64, 1}, {0x02, 2, 512, 0}}),
        kOtherVendor, kOtherProduct));
}

EmulatedUsb::~EmulatedUsb() {
    cameras_.clear();
    g_object_unref(testbed_);
}

void EmulatedUsb::add(const std::string& text) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), &error)) {
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot add a device to the test bed: " + message);
    }
}

EmulatedCamera& EmulatedUsb::plugCamera(std::uint8_t port, bool announce) {
    const int devnum = nextDevnum_++;
    const std::string hub = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(kHubPort);
    const std::string path = hub + "/1-" + std::to_string(kHubPort) + "." + std::to_string(port);
    add(record(path, 1, devnum, cameraDescriptors(), 0x0547, 0xD002));
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
    Plugged plugged{std::make_unique<EmulatedCamera>(testbed_, node, scene_), "/sys" + path};
    if (announce) umockdev_testbed_uevent(testbed_, plugged.sysPath.c_str(), "add");
    cameras_.push_back(std::move(plugged));
    return *cameras_.back().camera;
}

void EmulatedUsb::unplug(EmulatedCamera& camera) {
    for (Plugged& plugged : cameras_) {
        if (plugged.camera.get() != &camera || !plugged.present) continue;
        camera.disconnect();
        umockdev_testbed_uevent(testbed_, plugged.sysPath.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, plugged.sysPath.c_str());
        plugged.present = false;
    }
}

std::vector<std::string> EmulatedUsb::unhandled() const {
    std::vector<std::string> all;
    for (const Plugged& plugged : cameras_) {
        std::vector<std::string> mine = plugged.camera->unhandled();
        all.insert(all.end(), mine.begin(), mine.end());
    }
    return all;
}

}  // namespace corvalis::test
