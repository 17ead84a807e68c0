#include "sim_backend.h"

#include <algorithm>
#include <atomic>

#include "list_order.h"
#include "platform/clock.h"
#include "sim_hotplug_hub.h"
#include "simulator_choice.h"

namespace corvalis::platform::usb {

namespace clock = corvalis::platform::clock;

namespace {

const sim::StarField& scene() {
    static const sim::StarField field;  // seed from CORVALIS_SIM_SEED at first use
    return field;
}

bool samePlace(const DeviceInfo& a, const DeviceInfo& b) {
    return a.vendor == b.vendor && a.product == b.product && a.bus == b.bus &&
           a.portPath == b.portPath;
}

// One open handle on a simulated camera. Closing it, or the camera leaving, ends
// its reads; a handle is never revived by a later plug.
class SimDevice final : public Device {
  public:
    SimDevice(std::shared_ptr<sim::SimCamera> camera, DeviceInfo info)
        : camera_(std::move(camera)), info_(std::move(info)) {}
    ~SimDevice() override { close(); }

    int vendorRequest(const VendorRequestBytes& request) override {
        if (closed_.load()) return -1;
        return camera_->vendorRequest(request);
    }
    std::size_t bulkRead(std::uint8_t* buffer, std::size_t length) override {
        if (closed_.load() || buffer == nullptr) return 0;
        return camera_->bulkRead(buffer, length, closed_);
    }
    void cancelRead() override { camera_->cancelReads(); }
    void close() override {
        if (!closed_.exchange(true)) camera_->wake();
    }
    bool isOpen() const override { return !closed_.load(); }
    const DeviceInfo& info() const override { return info_; }

  private:
    std::shared_ptr<sim::SimCamera> camera_;
    DeviceInfo info_;
    std::atomic<bool> closed_{false};
};

DeviceInfo defaultPlace(Simulator kind) {
    DeviceInfo d;
    d.vendor = 0x0547;
    d.product = kind == Simulator::SecondFamily ? 0xA004 : 0xD002;
    d.bus = 1;
    d.portPath = {1};
    return d;
}

}  // namespace

SimBackend& SimBackend::instance() {
    // Never destroyed: handles and the event thread may outlive static destruction.
    static SimBackend* backend = new SimBackend;
    return *backend;
}

SimBackend::SimBackend() {
    Simulator kind = simulatorFromEnvironment();
    plugLocked(defaultPlace(kind), kind != Simulator::SecondFamily);
}

std::vector<DeviceInfo> SimBackend::list() {
    std::lock_guard lock(mutex_);
    std::vector<DeviceInfo> out;
    for (const Entry& e : entries_) out.push_back(e.info);
    return out;
}

std::unique_ptr<Device> SimBackend::open(const DeviceInfo& device) {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
        if (samePlace(e.info, device)) {
            // A listed-only device (the second family) does not open here.
            if (!e.camera || !e.camera->plugged()) return nullptr;
            // The camera's frame times count on in device time from here.
            clock::anchorUtc();
            return std::make_unique<SimDevice>(e.camera, e.info);
        }
    }
    return nullptr;
}

int SimBackend::plugLocked(const DeviceInfo& where, bool withCamera) {
    Entry e{nextHandle_++, where, nullptr};
    if (withCamera) {
        e.camera = std::make_shared<sim::SimCamera>(scene());
        int handle = e.handle;
        e.camera->setUnplugHook([this, handle] { unplug(handle); });
    }
    entries_.push_back(std::move(e));
    return entries_.back().handle;
}

int SimBackend::plug(const DeviceInfo& where, bool withCamera) {
    int handle;
    {
        std::lock_guard lock(mutex_);
        handle = plugLocked(where, withCamera);
    }
    SimHotplugHub::instance().post(HotplugEvent{true, where});
    return handle;
}

bool SimBackend::unplug(int handle) {
    Entry gone;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.handle == handle; });
        if (it == entries_.end()) return false;
        gone = std::move(*it);
        entries_.erase(it);
    }
    if (gone.camera) gone.camera->markUnplugged();
    SimHotplugHub::instance().post(HotplugEvent{false, gone.info});
    return true;
}

std::shared_ptr<sim::SimCamera> SimBackend::cameraOf(int handle) {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
        if (e.handle == handle) return e.camera;
    }
    return nullptr;
}

std::shared_ptr<sim::SimCamera> SimBackend::firstCamera() {
    std::lock_guard lock(mutex_);
    const Entry* best = nullptr;
    for (const Entry& e : entries_) {
        if (e.camera && (best == nullptr || listOrder(e.info, best->info))) best = &e;
    }
    return best ? best->camera : nullptr;
}

std::vector<int> SimBackend::handles() {
    std::lock_guard lock(mutex_);
    std::vector<int> out;
    for (const Entry& e : entries_) out.push_back(e.handle);
    return out;
}

int SimBackend::reset() {
    for (int handle : handles()) unplug(handle);
    Simulator kind = simulatorFromEnvironment();
    return plug(defaultPlace(kind), kind != Simulator::SecondFamily);
}

}  // namespace corvalis::platform::usb

namespace corvalis::platform::sim {

using usb::SimBackend;

bool active() {
    return usb::simulatorFromEnvironment() != usb::Simulator::None;
}

std::shared_ptr<Camera> camera() {
    return SimBackend::instance().firstCamera();
}

int plug(const usb::DeviceInfo& where, bool withCamera) {
    return SimBackend::instance().plug(where, withCamera);
}

bool unplug(int handle) {
    return SimBackend::instance().unplug(handle);
}

std::shared_ptr<Camera> cameraOf(int handle) {
    return SimBackend::instance().cameraOf(handle);
}

std::vector<int> devices() {
    return SimBackend::instance().handles();
}

int reset() {
    return SimBackend::instance().reset();
}

}  // namespace corvalis::platform::sim
