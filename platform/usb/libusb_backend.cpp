#include "libusb_backend.h"

#include <libusb.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace corvalis::platform::usb {
namespace {

// The camera answers a vendor request at once; a request that takes longer has failed.
constexpr unsigned int kRequestTimeoutMs = 2000;
// Host-to-device, vendor, device.
constexpr std::uint8_t kVendorOut = 0x40;
// USB allows at most 7 tiers of hubs below the root.
constexpr int kMaxPortDepth = 7;

bool describe(libusb_device* device, DeviceInfo& info) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return false;
    info.vendor = descriptor.idVendor;
    info.product = descriptor.idProduct;
    info.bus = libusb_get_bus_number(device);
    std::uint8_t ports[kMaxPortDepth];
    const int depth = libusb_get_port_numbers(device, ports, kMaxPortDepth);
    info.portPath.assign(ports, ports + std::max(depth, 0));
    return true;
}

// The first bulk IN endpoint of interface 0 (the camera's "PIPE00"), or 0 for none.
std::uint8_t findBulkIn(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS)
        return 0;
    std::uint8_t found = 0;
    for (int i = 0; i < config->bNumInterfaces && found == 0; ++i) {
        const libusb_interface& interface = config->interface[i];
        if (interface.num_altsetting < 1 || interface.altsetting[0].bInterfaceNumber != 0) continue;
        const libusb_interface_descriptor& setting = interface.altsetting[0];
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
            const bool bulk =
                (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
            const bool in =
                (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
            if (bulk && in) {
                found = endpoint.bEndpointAddress;
                break;
            }
        }
    }
    libusb_free_config_descriptor(config);
    return found;
}

// The process's libusb context and its event thread. Never destroyed: open handles
// and the thread may still use it during static destruction.
class LibusbContext {
  public:
    static LibusbContext& instance() {
        static LibusbContext* const context = new LibusbContext;
        return *context;
    }

    // Null when libusb cannot start here; everything then finds nothing.
    libusb_context* get() const { return context_; }

    int registerHotplug(HotplugCallback callback) {
        if (!context_ || !callback || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) return 0;
        int id = 0;
        {
            std::lock_guard lock(mutex_);
            id = nextId_++;
            callbacks_[id].callback = std::move(callback);
        }
        const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
        libusb_hotplug_callback_handle handle = 0;
        const int result = libusb_hotplug_register_callback(
            context_, events, 0, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
            LIBUSB_HOTPLUG_MATCH_ANY, &LibusbContext::onHotplug,
            reinterpret_cast<void*>(static_cast<std::intptr_t>(id)), &handle);
        std::lock_guard lock(mutex_);
        if (result != LIBUSB_SUCCESS) {
            callbacks_.erase(id);
            return 0;
        }
        callbacks_[id].handle = handle;
        return id;
    }

    void unregisterHotplug(int id) {
        libusb_hotplug_callback_handle handle = 0;
        {
            std::unique_lock lock(mutex_);
            auto it = callbacks_.find(id);
            if (it == callbacks_.end()) return;
            handle = it->second.handle;
            callbacks_.erase(it);
            // A call in progress finishes first, so the caller may free what the callback
            // uses; unless this is that call unregistering itself.
            if (std::this_thread::get_id() != eventThread_)
                idle_.wait(lock, [&] { return delivering_ != id; });
        }
        libusb_hotplug_deregister_callback(context_, handle);
    }

  private:
    struct Registration {
        HotplugCallback callback;
        libusb_hotplug_callback_handle handle = 0;
    };

    LibusbContext() {
        if (libusb_init(&context_) != LIBUSB_SUCCESS) {
            context_ = nullptr;
            return;
        }
        // Completes every transfer and calls the hot-plug callbacks, for the life of the process.
        std::thread events([context = context_] {
            for (;;) libusb_handle_events(context);
        });
        eventThread_ = events.get_id();
        events.detach();
    }

    static int LIBUSB_CALL onHotplug(libusb_context*, libusb_device* device,
                                     libusb_hotplug_event event, void* userData) {
        HotplugEvent hotplug;
        hotplug.arrived = event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED;
        if (describe(device, hotplug.device))
            instance().deliver(static_cast<int>(reinterpret_cast<std::intptr_t>(userData)),
                               hotplug);
        return 0;  // stay registered
    }

    void deliver(int id, const HotplugEvent& event) {
        HotplugCallback callback;
        {
            std::lock_guard lock(mutex_);
            auto it = callbacks_.find(id);
            if (it == callbacks_.end()) return;
            callback = it->second.callback;
            delivering_ = id;
        }
        try {
            callback(event);  // only posts
        } catch (...) {
            // A receiver's failure must not unwind into libusb.
        }
        std::lock_guard lock(mutex_);
        delivering_ = 0;
        idle_.notify_all();
    }

    libusb_context* context_ = nullptr;
    std::thread::id eventThread_;

    std::mutex mutex_;
    std::condition_variable idle_;
    std::map<int, Registration> callbacks_;
    int nextId_ = 1;
    int delivering_ = 0;
};

class LibusbDevice final : public Device {
  public:
    LibusbDevice(libusb_device_handle* handle, std::uint8_t bulkIn, DeviceInfo info)
        : handle_(handle), bulkIn_(bulkIn), info_(std::move(info)) {}

    ~LibusbDevice() override { close(); }

    int vendorRequest(const VendorRequestBytes& request) override {
        // Wire form: byte 4 request, bytes 6-7 value, bytes 8-9 index, little-endian;
        // the ten bytes themselves are the data stage.
        const std::uint8_t code = request[4];
        const auto value = static_cast<std::uint16_t>(request[6] | request[7] << 8);
        const auto index = static_cast<std::uint16_t>(request[8] | request[9] << 8);
        std::uint8_t buffer[LIBUSB_CONTROL_SETUP_SIZE + sizeof(VendorRequestBytes)];
        libusb_fill_control_setup(buffer, kVendorOut, code, value, index,
                                  sizeof(VendorRequestBytes));
        std::memcpy(buffer + LIBUSB_CONTROL_SETUP_SIZE, request.data(), request.size());

        Pending pending{this};
        if (!pending.transfer) return 0;
        libusb_fill_control_transfer(pending.transfer, nullptr, buffer,
                                     &LibusbDevice::onTransferDone, &pending, kRequestTimeoutMs);
        switch (run(pending)) {
            case RunResult::closed:
                return -1;
            case RunResult::failed:
                return 0;
            case RunResult::finished:
                break;
        }
        const bool sent =
            pending.transfer->status == LIBUSB_TRANSFER_COMPLETED &&
            pending.transfer->actual_length == static_cast<int>(sizeof(VendorRequestBytes));
        return sent ? 1 : 0;
    }

    std::size_t bulkRead(std::uint8_t* buffer, std::size_t length) override {
        if (!buffer || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return 0;
        Pending pending{this, true};
        if (!pending.transfer) return 0;
        // No timeout: the read waits for the exposure, however long; cancel and unplug end it.
        libusb_fill_bulk_transfer(pending.transfer, nullptr, bulkIn_, buffer,
                                  static_cast<int>(length), &LibusbDevice::onTransferDone, &pending,
                                  0);
        if (run(pending) != RunResult::finished) return 0;
        // Cancelled, unplugged, stalled or failed reads all deliver nothing.
        if (pending.transfer->status != LIBUSB_TRANSFER_COMPLETED) return 0;
        const int actual = pending.transfer->actual_length;
        return actual > 0 ? std::min(static_cast<std::size_t>(actual), length) : 0;
    }

    void cancelRead() override {
        std::lock_guard lock(mutex_);
        for (Pending* pending : inFlight_)
            if (pending->isRead) libusb_cancel_transfer(pending->transfer);
    }

    void close() override {
        libusb_device_handle* handle = nullptr;
        {
            std::unique_lock lock(mutex_);
            if (!handle_) return;
            handle = handle_;
            handle_ = nullptr;  // nothing new is submitted from here on
            for (Pending* pending : inFlight_) libusb_cancel_transfer(pending->transfer);
            // libusb must not close a handle with transfers in flight.
            settled_.wait(lock, [this] { return inFlight_.empty(); });
        }
        libusb_release_interface(handle, 0);
        libusb_close(handle);
    }

    bool isOpen() const override {
        std::lock_guard lock(mutex_);
        return handle_ != nullptr;
    }

    const DeviceInfo& info() const override { return info_; }

  private:
    struct Pending {
        explicit Pending(LibusbDevice* owner, bool isRead = false)
            : owner(owner), transfer(libusb_alloc_transfer(0)), isRead(isRead) {}
        ~Pending() { libusb_free_transfer(transfer); }
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;

        LibusbDevice* owner;
        libusb_transfer* transfer;
        bool isRead;
        bool done = false;
    };

    enum class RunResult { finished, failed, closed };

    // Submits the transfer and waits until the event thread has completed it.
    RunResult run(Pending& pending) {
        std::unique_lock lock(mutex_);
        if (!handle_) return RunResult::closed;
        pending.transfer->dev_handle = handle_;
        if (libusb_submit_transfer(pending.transfer) != LIBUSB_SUCCESS) return RunResult::failed;
        inFlight_.push_back(&pending);
        settled_.wait(lock, [&pending] { return pending.done; });
        return RunResult::finished;
    }

    // On the event thread. Notifies under the lock: once the waiter sees `done`, the
    // pending transfer and maybe the device are gone.
    static void LIBUSB_CALL onTransferDone(libusb_transfer* transfer) {
        auto* pending = static_cast<Pending*>(transfer->user_data);
        LibusbDevice* device = pending->owner;
        std::lock_guard lock(device->mutex_);
        std::erase(device->inFlight_, pending);
        pending->done = true;
        device->settled_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable settled_;
    libusb_device_handle* handle_;  // null once closed
    std::vector<Pending*> inFlight_;
    const std::uint8_t bulkIn_;
    const DeviceInfo info_;
};

class LibusbBackend final : public Backend {
  public:
    std::vector<DeviceInfo> list() override {
        std::vector<DeviceInfo> devices;
        forEachDevice([&devices](libusb_device*, const DeviceInfo& info) {
            devices.push_back(info);
            return false;
        });
        return devices;
    }

    std::unique_ptr<Device> open(const DeviceInfo& wanted) override {
        libusb_device_handle* handle = nullptr;
        forEachDevice([&](libusb_device* device, const DeviceInfo& info) {
            if (info.vendor != wanted.vendor || info.product != wanted.product ||
                info.bus != wanted.bus || info.portPath != wanted.portPath)
                return false;
            if (libusb_open(device, &handle) != LIBUSB_SUCCESS) handle = nullptr;
            return true;
        });
        if (!handle) return nullptr;
        if (libusb_claim_interface(handle, 0) != LIBUSB_SUCCESS) {
            libusb_close(handle);
            return nullptr;
        }
        const std::uint8_t bulkIn = findBulkIn(libusb_get_device(handle));
        if (bulkIn == 0) {
            libusb_release_interface(handle, 0);
            libusb_close(handle);
            return nullptr;
        }
        return std::make_unique<LibusbDevice>(handle, bulkIn, wanted);
    }

  private:
    // Calls `visit` for each present device until it returns true.
    template <typename Visit>
    void forEachDevice(Visit visit) {
        libusb_context* context = LibusbContext::instance().get();
        if (!context) return;
        libusb_device** devices = nullptr;
        const ssize_t count = libusb_get_device_list(context, &devices);
        if (count < 0) return;
        for (ssize_t i = 0; i < count; ++i) {
            DeviceInfo info;
            if (describe(devices[i], info) && visit(devices[i], info)) break;
        }
        libusb_free_device_list(devices, 1);
    }
};

}  // namespace

std::unique_ptr<Backend> makeLibusbBackend() {
    return std::make_unique<LibusbBackend>();
}

int registerLibusbHotplug(HotplugCallback callback) {
    return LibusbContext::instance().registerHotplug(std::move(callback));
}

void unregisterLibusbHotplug(int handle) {
    LibusbContext::instance().unregisterHotplug(handle);
}

}  // namespace corvalis::platform::usb
