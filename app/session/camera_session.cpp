#include "session/camera_session.h"

#include <cstring>

#include "session/picture_defaults.h"
#include "session/window_fit.h"

namespace {

// The order in which the picture settings reach a freshly opened camera; the frame
// speed goes first (it re-reads the exposure) and is sent on its own.
constexpr int kPictureSettingsOrder[] = {
    CAMCMD_EXPOSURE, CAMCMD_DATA_WIDTH, CAMCMD_ANALOG_GAIN,
    CAMCMD_CONTRAST, CAMCMD_GAMMA,      CAMCMD_APPLY_EXPOSURE_RESTART,
    CAMCMD_RGB_GAIN, CAMCMD_SATURATION, CAMCMD_MIRROR_2,
    CAMCMD_MIRROR_1, CAMCMD_MONOCHROME};

// Frame speeds the session opens with: the second family's middle speed, and the
// first family's 8-bit and 16-bit read-out speeds.
constexpr int kNimbusOpeningSpeed = 1;
constexpr int kOstraEightBitSpeed = 3;
constexpr int kOstraSixteenBitSpeed = 4;

}  // namespace

void setInitialRecord(CameraRecord& r, const std::string& saveDirectory) {
    r = CameraRecord{};
    r.state = KD_STATE_UNINITIALISED;
    r.camera_type = KD_FAMILY_NONE;
    r.resolution_index = 0;
    r.image_width = 1360;
    r.image_height = 1024;
    r.auto_exposure = 0;
    r.exposure_ms = 200;
    r.analog_gain = 40;
    r.frame_speed = 2;
    r.gain_r = r.gain_g = r.gain_b = 64;
    r.saturation = 128;
    r.color_enhancement = 1;
    r.monochrome = 0;
    r.contrast = 0;
    r.gamma = 10;
    r.data_width_16 = r.mirror_1 = r.mirror_2 = 0;
    r.crop_left = r.crop_top = 0;
    r.crop_right = 1360;
    r.crop_bottom = 1024;
    r.full_screen = r.area_selected = r.custom_sequence = 0;
    r.sequence_count = r.frame_time_ms = r.frame_time_copy_ms = 1;
    r.file_index = r.file_use_time = 0;
    r.save_format = KD_SAVE_TIFF;
    if (saveDirectory.size() < sizeof(r.save_directory))
        std::memcpy(r.save_directory, saveDirectory.c_str(), saveDirectory.size() + 1);
    r.captured_total = r.captured_current = 0;
}

CameraSession::CameraSession(std::string saveDirectory, SessionCalls calls)
    : calls_(std::move(calls)) {
    setInitialRecord(context_.record, saveDirectory);
}

CameraSession::~CameraSession() = default;

int CameraSession::detectFamily() {
    CameraRecord scan{};
    scan.camera_type = KD_FAMILY_NONE;
    calls_.refreshCamera(&scan);
    return scan.camera_type;
}

CameraSession::Toggle CameraSession::toggle(bool sixteenBit) {
    CameraRecord& r = context_.record;
    if (!closed()) {
        if (windows_.closeCamera) windows_.closeCamera();
        return Toggle::Closed;
    }
    calls_.refreshCamera(&r);
    if (windows_.openCamera) windows_.openCamera();
    if (!running()) return Toggle::OpenFailed;

    // Each family's picture values are its own numbers: the first family's gamma 10 is
    // a black picture on the second.
    if (r.camera_type != pictureValuesFamily_) setFamilyDefaults(r, r.camera_type);
    if (windows_.reloadPanels) windows_.reloadPanels();
    if (r.camera_type == KD_FAMILY_NIMBUS) {
        r.frame_speed = kNimbusOpeningSpeed;
        r.data_width_16 = 0;
    } else {
        r.frame_speed = sixteenBit ? kOstraSixteenBitSpeed : kOstraEightBitSpeed;
        r.data_width_16 = sixteenBit ? 1 : 0;
    }
    sendPictureSettings();
    const long started = windows_.startPreview ? windows_.startPreview() : KD_NO_CAMERA;
    if (started < 0) {
        // The preview could not get its buffers: no half-open camera is left.
        if (windows_.closeCamera) windows_.closeCamera();
        if (windows_.error) windows_.error("Init Camera failed!", "Error");
        return Toggle::OpenFailed;
    }
    return Toggle::Opened;
}

void CameraSession::sendPictureSettings() {
    CameraRecord& r = context_.record;
    // The frame-speed command re-reads the exposure into the record; keep the user's.
    const unsigned exposure = r.exposure_ms;
    calls_.readWrite(&r, CAMCMD_FRAME_SPEED, 0);
    r.exposure_ms = exposure;
    for (int command : kPictureSettingsOrder) calls_.readWrite(&r, command, 0);
    pictureValuesFamily_ = r.camera_type;
}

long CameraSession::open(KdWindow* window) {
    CameraRecord& r = context_.record;
    r.state = KD_STATE_UNINITIALISED;
    r.init_window_1 = window;
    r.init_window_2 = window;
    if (calls_.readWrite(&r, CAMCMD_INIT, 0) != KD_DONE) {
        // The flags stay as they were: nothing changed.
        if (windows_.error) windows_.error("Init Camera failed!", "Error");
        return NotOpened;
    }
    calls_.readWrite(&r, CAMCMD_START, 0);
    if (!running()) {
        refreshUiFlags();
        return NotOpened;
    }
    calls_.readWrite(&r, CAMCMD_DISPLAY_ENABLE, 0);
    calls_.readWrite(&r, CAMCMD_IMAGE_SIZE, 1);
    {
        std::lock_guard<std::mutex> lock(context_.displayLock);
        setFullCrop();
    }
    if (windows_.fitImageWindow) windows_.fitImageWindow();
    refreshUiFlags();
    return Opened;
}

void CameraSession::restartPreview() {
    if (windows_.stopPreviews) windows_.stopPreviews();
    if (windows_.startPreview) windows_.startPreview();
}

void CameraSession::close() {
    CameraRecord& r = context_.record;
    // No preview thread may outlive the camera or read the show buffer as it goes.
    if (windows_.stopPreviews) windows_.stopPreviews();
    {
        std::lock_guard<std::mutex> lock(context_.displayLock);
        calls_.showBufferUnInit(&r);
    }
    calls_.readWrite(&r, CAMCMD_STOP, 0);
    calls_.readWrite(&r, CAMCMD_UNINIT, 0);
    r.state = KD_STATE_UNINITIALISED;
    refreshUiFlags();
    r.captured_total = 0;
    r.captured_current = 0;
}

void CameraSession::refreshUiFlags() {
    flags_.set(UiFlag::CameraClosed, closed() ? 1 : 0);
    flags_.set(UiFlag::StartCamera, 1);
    const int on = running() ? 1 : 0;
    for (UiFlag flag : kRunningFlags) flags_.set(flag, on);
    if (windows_.flagsChanged) windows_.flagsChanged();
}

int CameraSession::resolutionOfEntry(int family, int entry) {
    if (family == KD_FAMILY_NIMBUS) return entry;
    return entry == 0 ? 0 : entry + 1;
}

int CameraSession::resolutionEntry(int family, int resolutionIndex) {
    if (family == KD_FAMILY_NIMBUS) return resolutionIndex;
    return resolutionIndex == 0 ? 0 : resolutionIndex - 1;
}

void CameraSession::selectResolution(int resolutionIndex) {
    std::lock_guard<std::mutex> lock(context_.displayLock);
    context_.record.resolution_index = resolutionIndex;
    setFullCrop();
}

void CameraSession::resetShowBuffer() {
    std::lock_guard<std::mutex> lock(context_.displayLock);
    calls_.showBufferUnInit(&context_.record);
    calls_.showBufferInit(&context_.record);
}

void CameraSession::setFullCrop() {
    CameraRecord& r = context_.record;
    r.crop_left = 0;
    r.crop_top = 0;
    r.crop_right = r.image_width;
    r.crop_bottom = r.image_height;
}

void CameraSession::cropTo(const SelectionCrop& mapped) {
    CameraRecord& r = context_.record;
    std::lock_guard<std::mutex> lock(context_.displayLock);
    r.crop_left = mapped.crop.left;
    r.crop_top = mapped.crop.top;
    r.crop_right = mapped.crop.right;
    r.crop_bottom = mapped.crop.bottom;
    r.roi_x0 = mapped.roiX0;
    r.roi_y0 = mapped.roiY0;
    r.roi_x1 = mapped.roiX1;
    r.roi_y1 = mapped.roiY1;
}

void CameraSession::restoreFullArea() {
    CameraRecord& r = context_.record;
    std::lock_guard<std::mutex> lock(context_.displayLock);
    setFullCrop();
    // The sensor window keeps a one-pixel border.
    r.roi_x0 = 1;
    r.roi_y0 = 1;
    r.roi_x1 = r.image_width - 1;
    r.roi_y1 = r.image_height - 1;
}
