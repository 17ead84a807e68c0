// The captured-frame list: integration in both data widths, the first frame after a
// clear, the 50-frame limit, frame numbers outside the list, thumbnail sizes and
// pixels, the full-size display, and the raw frames of both camera families kept whole.
#include <QImage>
#include <QPainter>
#include <cstring>
#include <memory>

#include "frame_list_test_support.h"
#include "kd_frame_info.h"
#include "nimbus.h"

namespace {

using namespace frame_list_test;

constexpr int kNoDecoder = 0;  // a camera type the library does not decode: black pictures

class FrameList : public ::testing::Test {
  protected:
    void SetUp() override {
        Mes_ClearBuffList(nullptr);
        Mes_AutoLevels(0);
        Mes_SetLevelsValues(0, 255);
    }
    void TearDown() override { Mes_ClearBuffList(nullptr); }

    // The stored bytes of a frame, through a raw save of the whole picture.
    std::vector<std::uint8_t> storedFrame(CameraRecord record, int frameNumber) {
        record.save_format = 4;
        setCrop(record, 0, 0, record.image_width, record.image_height);
        const std::string base = directory_ / ("frame" + std::to_string(frameNumber));
        EXPECT_EQ(Mes_SaveBuffList(&record, base.c_str(), frameNumber), 1);
        return readBytes(base + ".raw");
    }

    std::unique_ptr<QImage> thumbnail(CameraRecord& record, int frameNumber) {
        return std::unique_ptr<QImage>(Mes_ShowBuffList(&record, frameNumber, 200, 150, nullptr));
    }

    ScratchDirectory directory_;
};

// Information carried with a frame is kept with it; a stacked frame keeps the first
// frame's start and adds up exposures and frame counts, also onto a stacked frame.
TEST_F(FrameList, StackedFramesAddUpTheirExposuresAndKeepTheFirstStart) {
    CameraRecord record = makeRecord(kNoDecoder, 2, 2, false);
    std::vector<std::uint8_t> raw(8, 1);
    const KdFrameInfo a{1'000'000, 0.5, 30, 2, 0, 1};
    const KdFrameInfo b{3'000'000, 0.25, 31, 2, 0, 1};
    const KdFrameInfo c{9'000'000, 2.0, 32, 3, 0, 1};
    ASSERT_EQ(CorvalisKdSnapToBuffList(&record, raw.data(), 1, &a), 1);  // first: alone
    ASSERT_EQ(CorvalisKdSnapToBuffList(&record, raw.data(), 1, &b), 1);
    ASSERT_EQ(CorvalisKdSnapToBuffList(&record, raw.data(), 1, &b), 1);
    ASSERT_EQ(CorvalisKdSnapToBuffList(&record, raw.data(), 0, &c), 1);
    KdFrameInfo info{};
    ASSERT_EQ(CorvalisKdListFrameInfo(&record, 1, &info), 1);
    EXPECT_EQ(info.start_utc_us, 1'000'000);
    EXPECT_DOUBLE_EQ(info.exposure_s, 0.5);
    EXPECT_EQ(info.combined, 1);
    ASSERT_EQ(CorvalisKdListFrameInfo(&record, 3, &info), 1);
    EXPECT_EQ(info.start_utc_us, 1'000'000);
    EXPECT_DOUBLE_EQ(info.exposure_s, 1.0);
    EXPECT_EQ(info.combined, 3);
    EXPECT_EQ(info.gain, 31) << "the settings are the last frame's";
    ASSERT_EQ(CorvalisKdListFrameInfo(&record, 4, &info), 1);
    EXPECT_EQ(info.start_utc_us, 9'000'000);
    EXPECT_DOUBLE_EQ(info.exposure_s, 2.0);
    EXPECT_EQ(info.combined, 1);
    EXPECT_EQ(info.mode, 3);

    EXPECT_EQ(CorvalisKdListFrameInfo(&record, 5, &info), 0);
    EXPECT_EQ(CorvalisKdListFrameInfo(&record, 0, &info), 0);
    EXPECT_EQ(CorvalisKdListFrameInfo(&record, 1, nullptr), 0);
    EXPECT_EQ(CorvalisKdSnapToBuffList(&record, raw.data(), 0, nullptr), 0);
    Mes_ClearBuffList(&record);
    EXPECT_EQ(CorvalisKdListFrameInfo(&record, 1, &info), 0) << "cleared with its frames";
}

// A plain snap keeps what the driver says of the frame it grabbed last.
TEST_F(FrameList, ASnapKeepsTheLastGrabbedFramesInformation) {
    CameraRecord record;
    OstraIICameraUnInit();  // a fresh context has grabbed nothing
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    KdFrameInfo info{};
    EXPECT_EQ(CorvalisKdFrameInfo(&record, &info), KD_NO_FRAME);
    ASSERT_EQ(OstraIICameraSetAnalogGain(77), 1);
    unsigned char mode = 0;
    ASSERT_EQ(OstraIICameraGetResolution(&mode), 1);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(OstraIICameraGrabBytes(mode, 0)));
    // The first frame after a data-width change is dropped.
    int grab = KD_NO_FRAME;
    for (int attempt = 0; attempt < 3 && grab != KD_DONE; ++attempt)
        grab = KdCamera_GrabFrame(&record, raw.data());
    ASSERT_EQ(grab, KD_DONE);
    KdFrameInfo grabbed{};
    ASSERT_EQ(CorvalisKdFrameInfo(&record, &grabbed), 1);
    EXPECT_EQ(grabbed.gain, 77);
    EXPECT_EQ(grabbed.mode, 4);
    EXPECT_EQ(grabbed.combined, 1);
    EXPECT_GT(grabbed.start_utc_us, 0);
    EXPECT_GT(grabbed.exposure_s, 0.0);
    ASSERT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 1);
    ASSERT_EQ(CorvalisKdListFrameInfo(&record, 1, &info), 1);
    EXPECT_EQ(info.start_utc_us, grabbed.start_utc_us);
    EXPECT_DOUBLE_EQ(info.exposure_s, grabbed.exposure_s);
    EXPECT_EQ(info.gain, 77);
    OstraIICameraUnInit();
}

TEST_F(FrameList, SixteenBitIntegrationSaturatesAt4095AndLeavesTheSumInTheCallersBuffer) {
    CameraRecord record = makeRecord(kNoDecoder, 3, 2, true);
    const unsigned first[6] = {2048, 100, 4095, 0, 1000, 4000};
    const unsigned second[6] = {2048, 200, 1, 0, 3095, 4000};
    std::vector<std::uint8_t> a(12), b(12);
    for (int i = 0; i < 6; ++i) {
        putPacked(&a[2 * i], first[i]);
        putPacked(&b[2 * i], second[i]);
    }
    b[3] |= 0x0F;  // bits below the 12-bit value are not part of it
    const std::vector<std::uint8_t> originalA = a;
    ASSERT_EQ(Mes_SnapToBuffList(&record, a.data(), 1), 1);
    ASSERT_EQ(Mes_SnapToBuffList(&record, b.data(), 1), 1);

    // Read as little-endian words: 4095 is 0xF0FF, 300 is 0xC012, 4096 - 1 + 1 caps.
    const std::uint16_t words[6] = {0xF0FF, 0xC012, 0xF0FF, 0x0000, 0xF0FF, 0xF0FF};
    std::vector<std::uint8_t> expected;
    for (std::uint16_t w : words) {
        expected.push_back(static_cast<std::uint8_t>(w & 0xFF));
        expected.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    EXPECT_EQ(storedFrame(record, 1), originalA);
    EXPECT_EQ(storedFrame(record, 2), expected);
    EXPECT_EQ(b, expected);
}

TEST_F(FrameList, EightBitIntegrationSaturatesAt255OnlyWhenAskedAndNeverForTheFirstFrame) {
    CameraRecord record = makeRecord(kNoDecoder, 2, 2, false);
    // The caller's buffer is W x H x 2 bytes; 8-bit samples fill its first half.
    std::vector<std::uint8_t> a = {200, 10, 255, 0, 0, 0, 0, 0};
    std::vector<std::uint8_t> b = {100, 20, 255, 7, 0, 0, 0, 0};
    std::vector<std::uint8_t> c = {1, 2, 3, 4, 0, 0, 0, 0};
    ASSERT_EQ(Mes_SnapToBuffList(&record, a.data(), 1), 1);
    ASSERT_EQ(Mes_SnapToBuffList(&record, b.data(), 1), 1);
    ASSERT_EQ(Mes_SnapToBuffList(&record, c.data(), 0), 1);
    EXPECT_EQ(storedFrame(record, 1), (std::vector<std::uint8_t>{200, 10, 255, 0}));
    EXPECT_EQ(storedFrame(record, 2), (std::vector<std::uint8_t>{255, 30, 255, 7}));
    EXPECT_EQ(storedFrame(record, 3), (std::vector<std::uint8_t>{1, 2, 3, 4}));

    ASSERT_EQ(Mes_ClearBuffList(nullptr), 1);
    ASSERT_EQ(Mes_SnapToBuffList(&record, c.data(), 1), 1);
    EXPECT_EQ(storedFrame(record, 1), (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(FrameList, AFiftyFirstFrameIsRefusedAndTheFiftyStay) {
    CameraRecord record = makeRecord(kNoDecoder, 4, 2, false);
    std::vector<std::uint8_t> raw(16);
    for (int n = 1; n <= 50; ++n) {
        std::fill(raw.begin(), raw.end(), static_cast<std::uint8_t>(n));
        ASSERT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 1) << n;
    }
    std::fill(raw.begin(), raw.end(), 0xEE);
    EXPECT_EQ(Mes_SnapToBuffList(&record, raw.data(), 1), 0);
    EXPECT_EQ(storedFrame(record, 50), std::vector<std::uint8_t>(8, 50));
    EXPECT_EQ(thumbnail(record, 51), nullptr);

    ASSERT_EQ(Mes_ClearBuffList(nullptr), 1);
    EXPECT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 1);
}

TEST_F(FrameList, FrameNumbersOutsideTheListReachNothing) {
    CameraRecord record = makeRecord(kNoDecoder, 4, 2, false);
    std::vector<std::uint8_t> raw(16, 9);
    ASSERT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 1);
    ASSERT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 1);

    QImage canvas(40, 20, QImage::Format_RGB32);
    QPainter painter(&canvas);
    RECT rect{0, 0, 40, 20};
    const std::string base = directory_ / "outside";
    for (int n : {-1, 0, 3, 1000}) {
        EXPECT_EQ(thumbnail(record, n), nullptr) << n;
        EXPECT_EQ(Mes_DisplayBuffList(&record, n, &painter, &rect), 0) << n;
        EXPECT_EQ(Mes_SaveBuffList(&record, base.c_str(), n), 0) << n;
    }
    EXPECT_FALSE(fs::exists(base + ".raw"));
    EXPECT_EQ(Mes_DisplayBuffList(&record, 2, &painter, &rect), 1);
    EXPECT_NE(thumbnail(record, 2), nullptr);
}

TEST_F(FrameList, ACropOutsideThePictureIsRefusedBeforeAnythingIsStored) {
    CameraRecord record = makeRecord(kNoDecoder, 4, 2, false);
    std::vector<std::uint8_t> raw(16, 1);
    setCrop(record, 0, 0, 5, 2);
    EXPECT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 0);
    setCrop(record, 2, 0, 2, 2);
    EXPECT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 0);
    EXPECT_EQ(thumbnail(record, 1), nullptr);
}

TEST_F(FrameList, ThumbnailsScaleByA32BitFloatAndNeverUp) {
    struct Case {
        int cropWidth, cropHeight, thumbWidth, thumbHeight;
    };
    const Case cases[] = {
        {1360, 1024, 200, 150}, {3032, 2016, 199, 132}, {1280, 1024, 200, 160}, {100, 80, 100, 80}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cropWidth) + " x " + std::to_string(c.cropHeight));
        CameraRecord record = makeRecord(kNoDecoder, 3032, 2018, false);
        setCrop(record, 0, 2, c.cropWidth, 2 + c.cropHeight);
        std::vector<std::uint8_t> raw(3032u * 2018u * 2u);
        ASSERT_EQ(Mes_ClearBuffList(nullptr), 1);
        ASSERT_EQ(Mes_SnapToBuffList(&record, raw.data(), 0), 1);
        const auto image = thumbnail(record, 1);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width(), c.thumbWidth);
        EXPECT_EQ(image->height(), c.thumbHeight);
    }
}

TEST_F(FrameList, AThumbnailShowsTheUprightLevelledCropOfTheDecodedFrame) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 4, false));
    setCrop(record, 30, 40, 130, 120);  // 100 x 80: the scale stays 1
    Mes_SetLevelsValues(30, 200);
    const auto raw = randomBytes(static_cast<std::size_t>(OstraIICameraGrabBytes(4, 0)), 7);
    auto snapped = raw;
    ASSERT_EQ(Mes_SnapToBuffList(&record, snapped.data(), 0), 1);

    const auto expected = expectedCrop<std::uint8_t>(record, raw);
    const auto image = thumbnail(record, 1);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width(), 100);
    ASSERT_EQ(image->height(), 80);
    int mismatches = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 100; ++x) {
            const QRgb pixel = image->pixel(x, y);
            const std::size_t at = (static_cast<std::size_t>(y) * 100 + x) * 3;
            mismatches += qBlue(pixel) != levelled(expected[at], 30, 200) ||
                          qGreen(pixel) != levelled(expected[at + 1], 30, 200) ||
                          qRed(pixel) != levelled(expected[at + 2], 30, 200);
        }
    }
    EXPECT_EQ(mismatches, 0);

    // The full-size display draws the same picture (here at its own size).
    QImage canvas(100, 80, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    {
        QPainter painter(&canvas);
        RECT rect{0, 0, 100, 80};
        ASSERT_EQ(Mes_DisplayBuffList(&record, 1, &painter, &rect), 1);
    }
    int differing = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 100; ++x)
            differing += (canvas.pixel(x, y) & 0xFFFFFF) != (image->pixel(x, y) & 0xFFFFFF);
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(FrameList, AFirstFamilyFrameIsKeptAndIntegratedWholeInTheHalfWidthMode) {
    CameraRecord record;
    ASSERT_NO_FATAL_FAILURE(openCamera(record, 1, true));
    const std::size_t bytes = static_cast<std::size_t>(OstraIICameraGrabBytes(1, 1));
    ASSERT_EQ(bytes, 3032u * 844u * 2u);  // twice W x H x 2 for the 1516-wide picture
    ASSERT_EQ(record.image_width, 1516);
    std::vector<std::uint8_t> a(bytes), b(bytes);
    for (std::size_t i = 0; i < bytes; i += 2) {
        putPacked(&a[i], static_cast<unsigned>(i / 2 % 4096));
        putPacked(&b[i], 1000);
    }
    auto snapped = a;
    ASSERT_EQ(Mes_SnapToBuffList(&record, snapped.data(), 0), 1);
    EXPECT_EQ(storedFrame(record, 1), a);  // the decode reworks the caller's copy, not the list's

    ASSERT_EQ(Mes_SnapToBuffList(&record, b.data(), 1), 1);
    const auto stored = storedFrame(record, 2);
    ASSERT_EQ(stored.size(), bytes);
    for (std::size_t sample : {std::size_t{0}, std::size_t{3095}, bytes / 2 - 1}) {
        const unsigned want = std::min(static_cast<unsigned>(sample % 4096) + 1000u, 4095u);
        EXPECT_EQ((stored[2 * sample] << 4) | (stored[2 * sample + 1] >> 4), want) << sample;
    }
}

TEST_F(FrameList, SecondFamilyFramesIntegratePastTheirHeader) {
    constexpr int kHeader = 512;
    CameraRecord record = makeRecord(31, 8, 4, false);
    std::vector<std::uint8_t> a(kHeader + 64, 0), b(kHeader + 64, 0);
    for (int i = 0; i < kHeader; ++i) {
        a[i] = 0x11;
        b[i] = 0x22;
    }
    for (int i = 0; i < 32; ++i) {
        a[kHeader + i] = static_cast<std::uint8_t>(7 * i);
        b[kHeader + i] = 100;
    }
    Mes_SnapToBuffList(&record, a.data(), 0);
    Mes_SnapToBuffList(&record, b.data(), 1);
    const auto stored = storedFrame(record, 2);
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(kHeader + 32));  // header and W x H samples
    EXPECT_EQ(stored[0], 0x22);
    EXPECT_EQ(stored[kHeader - 1], 0x22);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(stored[kHeader + i], std::min(7 * i + 100, 255)) << i;
}

TEST_F(FrameList, ASecondFamilyThumbnailIsTheDecodedPictureThatFollowsItsHeader) {
    constexpr int kWidth = 632, kHeight = 472;  // the family's resolution 2
    CameraRecord record = makeRecord(31, kWidth, kHeight, false);
    setCrop(record, 10, 20, 110, 100);  // 100 x 80: the thumbnail is the crop itself
    auto raw = randomBytes(NIMBUS_HEADER_BYTES + kWidth * kHeight * 2, 9);
    NimbusFrameHeader header{{'N', 'B', 'F', '1'}, kWidth, kHeight, 1, 10.0f, 0, 2, 0};
    std::memcpy(raw.data(), &header, sizeof header);
    auto snapped = raw;
    ASSERT_EQ(Mes_SnapToBuffList(&record, snapped.data(), 0), 1);

    std::vector<std::uint8_t> decoded(NIMBUS_DECODED_BYTES(kWidth, kHeight));
    ASSERT_EQ(CameraDecode(raw.data(), decoded.data(), kWidth, kHeight, 0), 1);
    const auto image = thumbnail(record, 1);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width(), 100);
    int mismatches = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 100; ++x) {
            const std::size_t at =
                NIMBUS_HEADER_BYTES +
                (static_cast<std::size_t>(kHeight - 1 - (20 + y)) * kWidth + 10 + x) * 3;
            const QRgb pixel = image->pixel(x, y);
            mismatches += qBlue(pixel) != decoded[at] || qGreen(pixel) != decoded[at + 1] ||
                          qRed(pixel) != decoded[at + 2];
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
