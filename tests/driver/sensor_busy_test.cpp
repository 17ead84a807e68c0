// The busy flag: raised for every request of a re-programming, lowered after it, and
// seen by other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "sensor_wire.h"

using namespace sensor_test;

TEST_F(SensorWatched, EveryReprogrammingRequestGoesOutWhileBusy) {
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"mode", [&] { device.setMode(1); }},
        {"frame speed", [&] { device.setFrameSpeed(3); }},
        {"analogue gain", [&] { device.setAnalogueGain(100); }},
        {"exposure", [&] { device.setExposureRows(5000); }},
        {"data width", [&] { device.setDataWidth(2); }},
        {"black level", [&] { device.setBlackLevel(20); }},
        {"long-exposure power", [&] { device.setLongExposurePower(1); }},
        {"restart", [&] { device.restart(); }},
        {"stop", [&] { device.stop(); }},
        {"startup", [&] { device.startup(); }},
    };
    for (const auto& [name, change] : changes) {
        change();
        auto sent = takeSent();
        ASSERT_FALSE(sent.empty()) << name;
        for (const Sent& s : sent)
            EXPECT_TRUE(s.busyWhenSent) << name << " sent 0x" << std::hex << int(s.bytes[4]);
        EXPECT_FALSE(device.busy()) << name << " left the flag raised";
    }
}

// Another thread watches the flag while this one re-programs with real (shortened)
// sleeps; it reads the layout and settings too, for the thread checker.
TEST(SensorBusyAcrossThreads, ReaderSeesTheFlagDuringReprogramming) {
    corvalis::platform::clock::setTimeScale(0.05);  // 500 ms mode settle -> 25 ms
    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    device.channel().adopt(std::make_unique<FakeCamera>());
    ASSERT_TRUE(device.attach(0));

    std::atomic<bool> sawBusy{false}, done{false};
    std::thread watcher([&] {
        while (!done.load(std::memory_order_relaxed)) {
            if (device.busy()) sawBusy.store(true, std::memory_order_relaxed);
            const ostra::FrameLayout layout = device.frameLayout();
            int w = 0, h = 0;
            device.rawSize(w, h);
            EXPECT_TRUE(layout.width > 0 && w > 0 && device.dataWidth() >= 1 &&
                        device.frameSpeed() >= 1);
            std::this_thread::yield();
        }
    });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int mode = 0;
    while (!sawBusy.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < limit) {
        mode = (mode + 1) % 5;
        device.setMode(mode);
        device.setMirror(mode % 2, true);
        device.setGamma(40 + mode);
    }
    done.store(true, std::memory_order_relaxed);
    watcher.join();
    corvalis::platform::clock::setTimeScale(0);
    EXPECT_TRUE(sawBusy.load()) << "the flag was never seen raised within 30 s";
    EXPECT_FALSE(device.busy());
}

// Two threads re-programming at once: each sequence stays whole on the wire and the
// flag stays raised until the last one has finished.
TEST(SensorBusyAcrossThreads, ConcurrentSettersDoNotInterleaveOnTheWire) {
    corvalis::platform::clock::setTimeScale(0);
    std::mutex decodeLock;
    ostra::SensorDevice device(decodeLock);
    auto camera = std::make_unique<FakeCamera>(&device.state().busy);
    FakeCamera* fake = camera.get();
    device.channel().adopt(std::move(camera));
    ASSERT_TRUE(device.attach(0));

    std::thread other([&] {
        for (int i = 0; i < 200; ++i) device.setExposureRows(1155 * 2 + 9);
    });
    for (int i = 0; i < 200; ++i) device.setMode(1);
    other.join();

    const auto sent = fake->sent();
    std::size_t i = 0;
    int modes = 0, exposures = 0;
    while (i < sent.size()) {
        const Request first = decodeWire(sent[i].bytes);
        if (first.code == 0xB4) {
            // select, start, width, black level, gain, low, high, start: 8 in a row
            ASSERT_LE(i + 8, sent.size());
            EXPECT_EQ(decodeWire(sent[i + 7].bytes), startFrame());
            for (std::size_t k = i; k < i + 8; ++k) EXPECT_TRUE(sent[k].busyWhenSent);
            i += 8;
            ++modes;
        } else {
            ASSERT_LE(i + 2, sent.size());
            EXPECT_EQ(first.index, 0x63);
            EXPECT_EQ(decodeWire(sent[i + 1].bytes).index, 0x62);
            EXPECT_TRUE(sent[i].busyWhenSent && sent[i + 1].busyWhenSent);
            i += 2;
            ++exposures;
        }
    }
    EXPECT_EQ(modes, 200);
    EXPECT_EQ(exposures, 200);
}
