// The USB channel: read sizes, closed-device behaviour and cancelling a waiting read.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "platform/sim.h"
#include "sensor_device.h"
#include "sensor_fake_usb.h"
#include "usb_channel.h"

using namespace sensor_test;
using ostra::UsbChannel;
namespace sim = corvalis::platform::sim;

namespace {
// A clean simulated bus: only the default camera, on bus 1 port 1.
void resetSimulator() {
    ASSERT_TRUE(sim::active()) << "run with CORVALIS_CAMERA=simulator";
    corvalis::platform::clock::setTimeScale(0);
    sim::reset();
}

void unplugAll() {
    for (int handle : sim::devices()) sim::unplug(handle);
}

usb::DeviceInfo at(std::uint8_t bus, std::vector<std::uint8_t> ports) {
    usb::DeviceInfo info;
    info.vendor = 0x0547;
    info.product = 0xD002;
    info.bus = bus;
    info.portPath = std::move(ports);
    return info;
}
}  // namespace

TEST(UsbChannelReadSize, AsksForOneBlockMoreThanTheWholeBlocks) {
    EXPECT_EQ(UsbChannel::requestSize(0), 512u);
    EXPECT_EQ(UsbChannel::requestSize(511), 512u);
    EXPECT_EQ(UsbChannel::requestSize(512), 1024u);
    // An 8-bit full frame, 3032 x 2180 samples, rounded up to 12,910 blocks, is read
    // with one block more: header plus frame.
    EXPECT_EQ(UsbChannel::requestSize(6609920), 6610432u);
    // The 16-bit frame: 25,820 blocks read as 25,821, 320 bytes beyond a buffer of
    // 3032 x 2180 x 2 + 512 bytes.
    EXPECT_EQ(UsbChannel::requestSize(13219840), 13220352u);
    EXPECT_EQ(UsbChannel::requestSize(13219840) - (3032u * 2180u * 2u + 512u), 320u);
}

TEST(UsbChannelRead, IssuesOneBulkReadOfTheRequestSize) {
    UsbChannel channel;
    auto camera = std::make_unique<FakeCamera>();
    FakeCamera* fake = camera.get();
    channel.adopt(std::move(camera));
    std::vector<std::uint8_t> frame(1536, 0x88);
    frame[1535] = 7;
    fake->feed(frame);
    std::vector<std::uint8_t> buffer(UsbChannel::requestSize(1100));
    EXPECT_EQ(channel.read(buffer, 1100), 1536u);
    EXPECT_EQ(fake->readLengths(), std::vector<std::size_t>{1536});
    EXPECT_EQ(buffer[1535], 7);
}

TEST(UsbChannelRead, RefusesABufferSmallerThanTheRequest) {
    UsbChannel channel;
    auto camera = std::make_unique<FakeCamera>();
    FakeCamera* fake = camera.get();
    channel.adopt(std::move(camera));
    fake->feed(std::vector<std::uint8_t>(1536, 0x88));  // a read would not wait
    std::vector<std::uint8_t> buffer(1024, 0x55);       // the request for 1024 is 1536
    EXPECT_EQ(channel.read(buffer, 1024), 0u);
    EXPECT_TRUE(fake->readLengths().empty());
    EXPECT_EQ(buffer[0], 0x55);
}

TEST(UsbChannelClosed, ReadsNothingAndRefusesRequests) {
    UsbChannel channel;
    EXPECT_FALSE(channel.isOpen());
    std::vector<std::uint8_t> buffer(1024);
    EXPECT_EQ(channel.read(buffer, 100), 0u);
    EXPECT_EQ(channel.vendorRequest({0xB3, 0, 0}), -1);
    channel.cancelRead();  // harmless with nothing open

    auto camera = std::make_unique<FakeCamera>();
    FakeCamera* fake = camera.get();
    channel.adopt(std::move(camera));
    EXPECT_EQ(channel.vendorRequest({0xB3, 0, 0}), 1);
    EXPECT_EQ(fake->sent().size(), 1u);
    channel.close();
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(channel.vendorRequest({0xB3, 0, 0}), -1);
    EXPECT_EQ(channel.read(buffer, 100), 0u);
    EXPECT_TRUE(channel.devicePath().empty());
}

TEST(UsbChannelCancel, EndsAWaitingReadWithNoBytes) {
    UsbChannel channel;
    auto camera = std::make_unique<FakeCamera>();
    FakeCamera* fake = camera.get();
    channel.adopt(std::move(camera));
    std::vector<std::uint8_t> buffer(UsbChannel::requestSize(4096));
    auto reading = std::async(std::launch::async, [&] { return channel.read(buffer, 4096); });
    fake->waitUntilReading();
    channel.cancelRead();
    ASSERT_EQ(reading.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "read still waiting";
    EXPECT_EQ(reading.get(), 0u);
    EXPECT_TRUE(channel.isOpen());  // a cancel does not close the camera
}

TEST(UsbChannelOpen, OpensTheSimulatedCamera) {
    resetSimulator();
    UsbChannel channel;
    ASSERT_TRUE(channel.open());
    EXPECT_NE(channel.devicePath().find("Vid_0547&Pid_D002#1-1#"), std::string::npos)
        << channel.devicePath();
    EXPECT_EQ(channel.vendorRequest({0xB3, 0, 0}), 1);
    EXPECT_EQ(sim::camera()->requests().size(), 1u);
}

TEST(UsbChannelOpen, UsesTheFirstCameraThatOpens) {
    resetSimulator();
    unplugAll();
    sim::plug(at(1, {1}), false);  // listed, but does not open
    const int second = sim::plug(at(2, {3}), true);
    UsbChannel channel;
    ASSERT_TRUE(channel.open());
    EXPECT_NE(channel.devicePath().find("#2-3#"), std::string::npos) << channel.devicePath();
    EXPECT_EQ(channel.vendorRequest({0xBB, 0, 0}), 1);
    EXPECT_EQ(sim::cameraOf(second)->requests().size(), 1u);
    channel.close();
    sim::reset();
}

TEST(UsbChannelOpen, FailsWithoutACamera) {
    resetSimulator();
    unplugAll();
    UsbChannel channel;
    EXPECT_FALSE(channel.open());
    EXPECT_EQ(channel.vendorRequest({0xB3, 0, 0}), -1);

    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    EXPECT_FALSE(device.attach(0));
    EXPECT_FALSE(device.isOpen());
    sim::reset();
}

TEST(UsbChannelOpen, UnpluggedCameraRefusesRequests) {
    resetSimulator();
    UsbChannel channel;
    ASSERT_TRUE(channel.open());
    ASSERT_TRUE(sim::unplug(sim::devices().front()));
    EXPECT_NE(channel.vendorRequest({0xB3, 0, 0}), 1);
    std::vector<std::uint8_t> buffer(UsbChannel::requestSize(1000));
    EXPECT_EQ(channel.read(buffer, 1000), 0u);
    sim::reset();
}

TEST(UsbChannelRead, ReadsHeaderAndFrameFromTheCamera) {
    resetSimulator();
    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    ASSERT_TRUE(device.attach(0));
    device.startup();  // mode 0, 8-bit, frame speed 1: a header comes first
    // 3032 x 2180 samples rounded up to whole blocks (12,910 of them), plus the header.
    const std::size_t raw = 3032u * 2180u;
    const std::size_t rounded = 12910u * 512u;
    std::vector<std::uint8_t> buffer(UsbChannel::requestSize(rounded));
    const std::size_t got = device.channel().read(buffer, rounded);
    EXPECT_EQ(got, 512u + raw);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buffer[i], 0x88) << "marker byte " << i;
}

TEST(UsbChannelCancel, EndsAStalledReadOfTheCamera) {
    resetSimulator();
    UsbChannel channel;
    ASSERT_TRUE(channel.open());
    channel.vendorRequest({0xB3, 0, 0});
    sim::camera()->injectFault(sim::Fault::Stall);
    std::vector<std::uint8_t> buffer(UsbChannel::requestSize(6609920));
    auto reading = std::async(std::launch::async, [&] { return channel.read(buffer, 6609920); });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sim::camera()->waitingReads() == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    channel.cancelRead();
    ASSERT_EQ(reading.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "read still waiting";
    EXPECT_EQ(reading.get(), 0u);
    EXPECT_TRUE(channel.isOpen());
}

TEST(UsbChannelOpen, AdoptedDeviceGivesItsPath) {
    UsbChannel channel;
    channel.adopt(std::make_unique<FakeCamera>());
    EXPECT_TRUE(channel.open());  // already open: kept as it is
    EXPECT_NE(channel.devicePath().find("0547"), std::string::npos) << channel.devicePath();
}
