// Capturing a frame to files on the simulated camera, each file read back by outside
// readers (libtiff's tiffinfo, OpenCV): which files each format bit writes and what
// they hold, repeated captures to one name, failed reads and unwritable paths, the
// stream around a capture, and running out of memory.
#include <fitsio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "allocation_control.h"
#include "eventually.h"
#include "file_size_limit.h"
#include "file_text.h"
#include "frame_decode.h"
#include "frame_files.h"
#include "platform/clock.h"
#include "platform/sim.h"
#include "scratch_directory.h"
#include "tiff_info.h"

namespace {

using namespace ostra;
namespace fs = std::filesystem;
namespace sim = corvalis::platform::sim;
using testing_tiff::tiffinfoPages;

constexpr int kAll = kFrameJpeg | kFrameBitmap | kFrameRaw | kFrameTiff;
const char* const kExtensions[] = {".jpg", ".bmp", ".raw", ".tif"};

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

// Mean absolute difference of two 8-bit pictures of one size.
double meanDifference(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar s = cv::mean(d);
    return (s[0] + s[1] + s[2]) / 3;
}

class FrameFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing_tiff::haveTiffinfo())
            GTEST_SKIP() << "tiffinfo (libtiff-tools) is not installed";
        ASSERT_TRUE(sim::active()) << "run with CORVALIS_CAMERA=simulator";
        corvalis::platform::clock::setTimeScale(0);
        handle = sim::reset();
        ASSERT_TRUE(device.attach(2));
        device.startup();
        camera = sim::camera();
        ASSERT_NE(camera, nullptr);
        ASSERT_TRUE(reader.allocate());
        dir = scratch.path().string();
        base = dir + "/frame";
    }

    int capture(int formats, FrameStream* stream = nullptr, const std::string& at = {}) {
        return captureFrameFiles(device, reader, decodeLock, stream, at.empty() ? base : at,
                                 formats);
    }

    void setWidth(int bytesPerSample) {
        device.setDataWidth(bytesPerSample);
        device.setDiscardNextFrame(false);
    }

    // The bottom-up blue-green-red picture the decode makes of a raw file's frame.
    std::vector<std::uint8_t> decodeRaw(const std::string& raw, int bytesPerSample, bool to8) {
        const FrameLayout layout = device.frameLayout();
        std::vector<std::uint8_t> frame(raw.begin(), raw.end());
        std::vector<std::uint8_t> picture(decodedBytes(layout, bytesPerSample, to8));
        EXPECT_TRUE(decodeFrame(decodeLock, device.processor8(), device.processor16(),
                                bytesPerSample, layout, frame.data(), picture.data(), to8));
        return picture;
    }

    // An OpenCV picture (top-down, blue-green-red) equals the decode's bottom-up one.
    static void expectSamePicture(const cv::Mat& read, const std::vector<std::uint8_t>& bottomUp,
                                  int width, int height) {
        ASSERT_EQ(read.cols, width);
        ASSERT_EQ(read.rows, height);
        const std::size_t row = static_cast<std::size_t>(width) * read.elemSize();
        ASSERT_EQ(bottomUp.size(), row * height);
        for (int y = 0; y < height; ++y)
            ASSERT_EQ(std::memcmp(read.ptr(y), bottomUp.data() + row * (height - 1 - y), row), 0)
                << "row " << y;
    }

    // The camera's scene as the reader should deliver it in mode 0: the cropped window
    // of the 12-bit picture, scaled to the data width, 16-bit samples big-endian.
    std::string expectedModeZeroFrame(int bytesPerSample) {
        const ModeGeometry g = device.geometry();
        const auto picture = camera->expectedPicture(camera->lastDelivered());
        std::string out;
        for (int y = 0; y < g.processingHeight; ++y)
            for (int x = 0; x < g.processingWidth; ++x) {
                const unsigned v =
                    picture[static_cast<std::size_t>(g.cropY0 + y) * g.rawWidth + g.cropX0 + x];
                if (bytesPerSample == 2) {
                    out.push_back(static_cast<char>((v << 4) >> 8));
                    out.push_back(static_cast<char>((v << 4) & 0xFF));
                } else {
                    out.push_back(static_cast<char>(v >> 4));
                }
            }
        return out;
    }

    int startFrames() {
        int n = 0;
        for (const auto& r : camera->requests()) n += r[4] == 0xB3;
        camera->clearRequests();
        return n;
    }

    std::mutex decodeLock;
    SensorDevice device{decodeLock};
    FrameReader reader{device};
    std::shared_ptr<sim::Camera> camera;
    int handle = 0;
    ScratchDirectory scratch{"frames"};
    std::string dir, base;
};

// ---- what each format writes ----

TEST_F(FrameFiles, RawOnlyWritesTheBigEndianFrameAndDecodesNothing) {
    device.setMode(0);
    setWidth(2);
    // A pending white balance is cleared by the next decode, so it shows whether one ran.
    device.processor16().setWhiteBalancePending(true);
    ASSERT_EQ(capture(kFrameRaw), kCaptureDone);
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"frame.raw"});
    EXPECT_TRUE(device.processor16().whiteBalancePending()) << "no decode for the raw file alone";
    const std::string raw = readText(base + ".raw");
    EXPECT_EQ(raw.size(), 3032u * 2018u * 2u);
    EXPECT_TRUE(raw == expectedModeZeroFrame(2))
        << "samples as the camera sent them, high byte first";

    ASSERT_EQ(capture(kFrameBitmap), kCaptureDone);
    EXPECT_FALSE(device.processor16().whiteBalancePending()) << "a bitmap needs the decode";
}

// The FITS file holds the same mosaic as the raw file, words in host order, with the
// camera's account of the exposure.
TEST_F(FrameFiles, FitsHoldsTheRawMosaicWithItsExposure) {
    device.setMode(2);
    setWidth(2);
    device.setAnalogueGain(123);
    device.setExposureRows(300);
    ASSERT_EQ(capture(kFrameFits | kFrameRaw | kFrameBitmap), kCaptureDone);
    const sim::FrameInfo made = camera->lastDelivered();
    const std::string raw = readText(base + ".raw");
    fitsfile* file = nullptr;
    int status = 0;
    ASSERT_EQ(fits_open_file(&file, (base + ".fits").c_str(), READONLY, &status), 0);
    int bitpix = 0, axes = 0;
    long sides[2] = {0, 0};
    fits_get_img_param(file, 2, &bitpix, &axes, sides, &status);
    fits_get_img_equivtype(file, &bitpix, &status);
    EXPECT_EQ(bitpix, USHORT_IMG);
    EXPECT_EQ(sides[0], 1516);
    EXPECT_EQ(sides[1], 1008);
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(sides[0] * sides[1]));
    long first[2] = {1, 1};
    fits_read_pix(file, TUSHORT, first, static_cast<LONGLONG>(samples.size()), nullptr,
                  samples.data(), nullptr, &status);
    char pattern[FLEN_VALUE] = "";
    double exposure = 0;
    long gain = 0, binning = 0;
    fits_read_key(file, TSTRING, "BAYERPAT", pattern, nullptr, &status);
    fits_read_key(file, TDOUBLE, "EXPTIME", &exposure, nullptr, &status);
    fits_read_key(file, TLONG, "GAIN", &gain, nullptr, &status);
    fits_read_key(file, TLONG, "XBINNING", &binning, nullptr, &status);
    fits_close_file(file, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(raw.size(), samples.size() * 2);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto high = static_cast<std::uint8_t>(raw[2 * i]);
        const auto low = static_cast<std::uint8_t>(raw[2 * i + 1]);
        wrong += samples[i] != (high << 8 | low);
    }
    EXPECT_EQ(wrong, 0u) << "the decode for the bitmap must not have reworked them first";
    EXPECT_STREQ(pattern, "GRBG");
    EXPECT_NEAR(exposure, made.exposureMicros * 1e-6, 1e-7);
    EXPECT_EQ(gain, 123);
    EXPECT_EQ(binning, 2);
}

TEST_F(FrameFiles, RawFileHoldsTheWholeMosaicTheDecodeReads) {
    setWidth(1);
    device.setMode(0);
    ASSERT_EQ(capture(kFrameRaw), kCaptureDone);
    EXPECT_TRUE(readText(base + ".raw") == expectedModeZeroFrame(1));
    // Mode 1 halves the picture in the decode; the raw file keeps all 3032 columns.
    device.setMode(1);
    setWidth(2);
    ASSERT_EQ(capture(kFrameRaw), kCaptureDone);
    EXPECT_EQ(fs::file_size(base + ".raw"), 3032u * 844u * 2u);
}

TEST_F(FrameFiles, AllFourIn16BitModeGiveA16BitTiffAnd8BitBitmapAndJpeg) {
    // A bright sky: the picture then has a gradient and colour for the JPEG check.
    device.setExposureRows(5000);
    setWidth(2);
    ASSERT_EQ(capture(kAll), kCaptureDone);
    const FrameLayout layout = device.frameLayout();
    const int w = layout.outputWidth, h = layout.outputHeight;
    ASSERT_EQ(w, 1516);
    ASSERT_EQ(h, 1008);

    const std::string raw = readText(base + ".raw");
    ASSERT_EQ(raw.size(), static_cast<std::size_t>(layout.width) * layout.height * 2);

    const auto pages = tiffinfoPages(base + ".tif");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(has(pages[0], "Image Width: 1516 Image Length: 1008")) << pages[0];
    EXPECT_TRUE(has(pages[0], "Bits/Sample: 16")) << pages[0];
    EXPECT_TRUE(has(pages[0], "Sample Format: unsigned integer")) << pages[0];
    EXPECT_TRUE(has(pages[0], "Photometric Interpretation: RGB color")) << pages[0];

    // The raw file was written before the decode turned the samples to host order, so
    // decoding it again gives the pictures the files should hold.
    const auto picture16 = decodeRaw(raw, 2, false);
    const auto picture8 = decodeRaw(raw, 2, true);
    const cv::Mat tiff = cv::imread(base + ".tif", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(tiff.type(), CV_16UC3);
    expectSamePicture(tiff, picture16, w, h);

    const cv::Mat bmp = cv::imread(base + ".bmp", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(bmp.type(), CV_8UC3);
    expectSamePicture(bmp, picture8, w, h);
    EXPECT_EQ(fs::file_size(base + ".bmp"), static_cast<std::uintmax_t>(w) * h * 3 + 54);

    const cv::Mat jpeg = cv::imread(base + ".jpg", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(jpeg.type(), CV_8UC3);
    ASSERT_EQ(jpeg.cols, w);
    ASSERT_EQ(jpeg.rows, h);
    cv::Mat flipped, swapped;
    cv::flip(bmp, flipped, 0);
    std::vector<cv::Mat> channels;
    cv::split(bmp, channels);
    std::swap(channels[0], channels[2]);
    cv::merge(channels, swapped);
    // Lossy, so close to the bitmap, and clearly not upside down or with red and blue
    // exchanged.
    const double error = meanDifference(jpeg, bmp);
    EXPECT_LT(error, 2.5);
    EXPECT_GT(meanDifference(jpeg, flipped), 5.0);
    EXPECT_GT(meanDifference(jpeg, swapped), 5.0);
}

// ---- repeated captures ----

TEST_F(FrameFiles, SecondCaptureToOneNameAddsATiffPageAndReplacesTheRest) {
    device.setExposureRows(5000);
    setWidth(1);
    ASSERT_EQ(capture(kAll), kCaptureDone);
    const std::string firstRaw = readText(base + ".raw");
    const std::uintmax_t bmpSize = fs::file_size(base + ".bmp");
    ASSERT_EQ(capture(kAll), kCaptureDone);

    const auto pages = tiffinfoPages(base + ".tif");
    ASSERT_EQ(pages.size(), 2u);
    for (const auto& page : pages) {
        EXPECT_TRUE(has(page, "Image Width: 1516 Image Length: 1008")) << page;
        EXPECT_TRUE(has(page, "Bits/Sample: 8")) << page;
        EXPECT_TRUE(has(page, "Sample Format: unsigned integer")) << page;
    }

    // The raw file and the bitmap hold the second frame only (its noise differs).
    const std::string raw = readText(base + ".raw");
    ASSERT_EQ(raw.size(), firstRaw.size());
    EXPECT_FALSE(raw == firstRaw) << "a new frame was read";
    EXPECT_EQ(fs::file_size(base + ".bmp"), bmpSize);
    const auto picture = decodeRaw(raw, 1, true);
    const cv::Mat bmp = cv::imread(base + ".bmp", cv::IMREAD_UNCHANGED);
    expectSamePicture(bmp, picture, 1516, 1008);
    const cv::Mat jpeg = cv::imread(base + ".jpg", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(jpeg.size(), bmp.size());
    EXPECT_LT(meanDifference(jpeg, bmp), 2.5);

    // Each page is its own frame: the second equals the bitmap, the first does not.
    std::vector<cv::Mat> tiff;
    ASSERT_TRUE(cv::imreadmulti(base + ".tif", tiff, cv::IMREAD_UNCHANGED));
    ASSERT_EQ(tiff.size(), 2u);
    expectSamePicture(tiff[1], picture, 1516, 1008);
    EXPECT_GT(cv::norm(tiff[0], tiff[1], cv::NORM_L1), 0.0);
}

TEST_F(FrameFiles, NoFormatsStillReadsAFrameAndWritesNothing) {
    startFrames();
    const auto before = camera->lastDelivered().index;
    EXPECT_EQ(capture(0), kCaptureDone);
    EXPECT_GT(camera->lastDelivered().index, before);
    EXPECT_GE(startFrames(), 1);
    EXPECT_TRUE(filesIn(dir).empty());
}

// ---- frames that do not come ----

TEST_F(FrameFiles, HundredFailedReadsWriteNothing) {
    startFrames();
    for (int i = 0; i < 100; ++i) camera->injectFault(sim::Fault::ZeroLengthRead);
    testing::internal::CaptureStderr();
    EXPECT_EQ(capture(kAll), kCaptureFailed);
    EXPECT_TRUE(has(testing::internal::GetCapturedStderr(), "no frame"));
    EXPECT_EQ(startFrames(), 100) << "one hundred reads, no more";
    EXPECT_TRUE(filesIn(dir).empty());
}

TEST_F(FrameFiles, FrameOnTheHundredthReadIsCaptured) {
    for (int i = 0; i < 99; ++i) camera->injectFault(sim::Fault::ZeroLengthRead);
    EXPECT_EQ(capture(kFrameRaw | kFrameBitmap), kCaptureDone);
    EXPECT_EQ(filesIn(dir).size(), 2u);
}

TEST_F(FrameFiles, UnpluggedCameraGivesNoFiles) {
    ASSERT_TRUE(sim::unplug(handle));
    testing::internal::CaptureStderr();
    EXPECT_EQ(capture(kAll), kCaptureFailed);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(filesIn(dir).empty());
}

// ---- files that cannot be written ----

TEST_F(FrameFiles, MissingDirectoryFailsForEveryFile) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(capture(kAll, nullptr, dir + "/missing/frame"), kCaptureFailed);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(has(messages, "Cannot open file for output.\n")) << messages;
    EXPECT_TRUE(has(messages, "JpegFile :\nCan't open " + dir + "/missing/frame.jpg\n"))
        << messages;
    EXPECT_TRUE(has(messages, dir + "/missing/frame.bmp")) << messages;
    EXPECT_TRUE(has(messages, dir + "/missing/frame.raw")) << messages;
    EXPECT_TRUE(filesIn(dir).empty());
}

TEST_F(FrameFiles, FileStandingWhereTheDirectoryShouldBeIsLeftAlone) {
    const std::string notes = dir + "/notes";
    writeText(notes, "observing log\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(capture(kAll, nullptr, notes + "/frame"), kCaptureFailed);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(readText(notes), "observing log\n");
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"notes"});
}

// Every file in turn is a link to the full device, which is no file to save over: the
// capture fails, the link is left alone and the other three are still written whole.
TEST_F(FrameFiles, TargetThatIsNotAFileFailsTheCaptureAndKeepsTheOthers) {
    struct Case {
        std::string extension, message;
    };
    const Case cases[] = {{".jpg", "JpegFile :\nCan't open " + base + ".jpg"},
                          {".bmp", base + ".bmp: "},
                          {".raw", base + ".raw: not a regular file"},
                          {".tif", "Cannot open file for output.\n"}};
    setWidth(1);
    for (const Case& full : cases) {
        SCOPED_TRACE(full.extension);
        for (const char* ext : kExtensions) fs::remove(base + ext);
        fs::create_symlink("/dev/full", base + full.extension);
        testing::internal::CaptureStderr();
        EXPECT_EQ(capture(kAll), kCaptureFailed);
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(has(messages, full.message)) << messages;
        EXPECT_EQ(fs::read_symlink(base + full.extension), "/dev/full");

        for (const char* ext : kExtensions) {
            if (ext == full.extension) continue;
            ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(base + ext))) << ext;
        }
        if (full.extension != ".raw") {
            EXPECT_EQ(fs::file_size(base + ".raw"), 1516u * 1008u);
        }
        if (full.extension != ".bmp") {
            EXPECT_FALSE(cv::imread(base + ".bmp").empty());
        }
        if (full.extension != ".jpg") {
            EXPECT_FALSE(cv::imread(base + ".jpg").empty());
        }
        if (full.extension != ".tif") {
            EXPECT_EQ(tiffinfoPages(base + ".tif").size(), 1u);
        }
        EXPECT_EQ(filesIn(dir).size(), 4u) << "a temporary file was left";
    }
}

// A capture of each format in turn runs out of room (as on a full disk): the earlier
// file of that name stays byte for byte, and nothing else is left in the folder.
TEST_F(FrameFiles, CaptureThatRunsOutOfRoomKeepsTheEarlierFileByteForByte) {
    const std::pair<int, const char*> formats[] = {
        {kFrameJpeg, ".jpg"}, {kFrameBitmap, ".bmp"}, {kFrameRaw, ".raw"}, {kFrameTiff, ".tif"}};
    setWidth(1);
    for (const auto& [format, extension] : formats) {
        SCOPED_TRACE(extension);
        for (const char* ext : kExtensions) fs::remove(base + ext);
        ASSERT_EQ(capture(format), kCaptureDone);
        const std::string earlier = readText(base + extension);
        ASSERT_GT(earlier.size(), 4096u);
        testing::internal::CaptureStderr();
        {
            FileSizeLimit limit(4096);
            EXPECT_EQ(capture(format), kCaptureFailed);
        }
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(readText(base + extension) == earlier) << "the earlier file changed";
        EXPECT_EQ(filesIn(dir), std::vector<std::string>{std::string("frame") + extension});
    }
}

TEST_F(FrameFiles, ReadOnlyFilesAreRefusedAndKept) {
    for (const char* ext : kExtensions) {
        writeText(base + ext, std::string("kept ") + ext + "\n");
        fs::permissions(base + ext,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(capture(kAll), kCaptureFailed);
    const std::string messages = testing::internal::GetCapturedStderr();
    for (const char* ext : kExtensions) {
        EXPECT_EQ(readText(base + ext), std::string("kept ") + ext + "\n") << ext;
        EXPECT_TRUE(has(messages, base + ext)) << ext << "\n" << messages;
    }
    EXPECT_EQ(filesIn(dir).size(), 4u) << "a temporary file was left";
}

TEST_F(FrameFiles, FileThatIsNotATiffIsNotAppendedTo) {
    const std::string text = "flat field notes\n";
    writeText(base + ".tif", text);
    testing::internal::CaptureStderr();
    EXPECT_EQ(capture(kAll), kCaptureFailed);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(readText(base + ".tif"), text);
    EXPECT_FALSE(cv::imread(base + ".bmp").empty());
    EXPECT_FALSE(cv::imread(base + ".jpg").empty());
}

// ---- the stream and the decode lock around a capture ----

// A notify window that counts the stream's frame messages.
struct CountingWindow {
    CountingWindow() {
        handle.context = this;
        handle.alive = [](void*) { return 1; };
        handle.post = [](void* c, unsigned, unsigned long, long) {
            ++static_cast<CountingWindow*>(c)->posts;
        };
    }
    KdWindow handle{};
    std::atomic<int> posts{0};
};

TEST_F(FrameFiles, StreamIsLeftAsItWasFound) {
    CountingWindow notify;
    FrameStream stream(device, reader, decodeLock, nullptr, &notify.handle);

    ASSERT_EQ(capture(kFrameBitmap, &stream), kCaptureDone);
    EXPECT_EQ(stream.state(), FrameStream::kStopped) << "a stopped stream is not started";

    ASSERT_EQ(stream.play(), 1);
    ASSERT_TRUE(eventually([&] { return notify.posts > 0; }));
    ASSERT_EQ(capture(kFrameBitmap, &stream), kCaptureDone);
    EXPECT_EQ(stream.state(), FrameStream::kStreaming);
    const int posts = notify.posts;
    EXPECT_TRUE(eventually([&] { return notify.posts > posts; }))
        << "frames flow again after the capture";

    ASSERT_EQ(stream.pause(), 1);
    ASSERT_EQ(capture(kFrameBitmap, &stream), kCaptureDone);
    EXPECT_EQ(stream.state(), FrameStream::kPaused);
    ASSERT_EQ(stream.play(), 1) << "resumed, so the threads were there";
    EXPECT_EQ(stream.stop(), 1);
}

TEST_F(FrameFiles, DecodeWaitsForTheDecodeLock) {
    std::unique_lock held(decodeLock);
    std::atomic<bool> done{false};
    std::thread capturing([&] {
        EXPECT_EQ(capture(kFrameBitmap), kCaptureDone);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(done) << "the decode ran without the lock";
    EXPECT_FALSE(fs::exists(base + ".bmp"));
    held.unlock();
    capturing.join();
    EXPECT_TRUE(fs::exists(base + ".bmp"));
}

TEST_F(FrameFiles, BuffersThatCannotBeHadGiveMinusTwoAndTheStreamGoesOn) {
    CountingWindow notify;
    FrameStream stream(device, reader, decodeLock, nullptr, &notify.handle);
    ASSERT_EQ(stream.play(), 1);
    startFrames();
    allocation_control::refuseLarge(true);
    const int result = capture(kAll, &stream);
    allocation_control::refuseLarge(false);
    EXPECT_EQ(result, kCaptureNoMemory);
    EXPECT_TRUE(filesIn(dir).empty());
    EXPECT_EQ(stream.state(), FrameStream::kStreaming);
    const int posts = notify.posts;
    EXPECT_TRUE(eventually([&] { return notify.posts > posts; }));
    EXPECT_EQ(stream.stop(), 1);
}

}  // namespace
