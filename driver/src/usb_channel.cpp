#include "usb_channel.h"

namespace usb = corvalis::platform::usb;

namespace ostra {

UsbChannel::~UsbChannel() {
    close();
}

bool UsbChannel::open() {
    if (isOpen()) return true;
    adopt(usb::openDevice(kVendor, kProduct));
    return isOpen();
}

void UsbChannel::adopt(std::unique_ptr<usb::Device> device) {
    close();
    device_ = std::move(device);
    if (device_) devicePath_ = device_->info().devicePath();
}

bool UsbChannel::isOpen() const {
    return device_ != nullptr && device_->isOpen();
}

std::size_t UsbChannel::read(std::span<std::uint8_t> buffer, std::size_t length,
                             std::optional<std::chrono::microseconds> limit) {
    if (!isOpen()) return 0;
    const std::size_t request = requestSize(length);
    if (buffer.size() < request) return 0;
    if (limit) watchdog_.arm(*limit);
    const std::size_t got = device_->bulkRead(buffer.data(), request);
    if (limit) watchdog_.disarm();
    return got;
}

void UsbChannel::cancelRead() {
    if (device_) device_->cancelRead();
}

int UsbChannel::vendorRequest(const VendorRequest& request) {
    const int result = isOpen() ? device_->vendorRequest(usb::makeVendorRequest(
                                      request.request, request.value, request.index))
                                : -1;
    if (result != 1) ++failedRequests_;
    return result;
}

void UsbChannel::close() {
    if (device_) device_->close();
    device_.reset();
    devicePath_.clear();
}

}  // namespace ostra
