#pragma once
// The user's options and their encoding in the configuration file. Portable: the Win32 side
// (settings_win.cpp) only moves the encoded key/value texts between this record and the profile file.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/settings_types.h"

struct AppSettings {
    CaptureMode captureMode = CaptureMode::RectangleRegion;
    bool hideWindowOnCapture = true;
    ImageFormat imageFormat = ImageFormat::Png;
    bool autoSave = true;
    std::string autoSaveFolder;  // the desktop folder on a first run, filled in by the Win32 loader
    bool usePrefix = true;
    std::string prefix = "岚影抓图";
    bool useDate = false;
    bool useAutoNumber = true;
    std::string counterText = "1";
    ExistingFilePolicy existingFilePolicy = ExistingFilePolicy::AutoCount;
    bool keepCursor = true;
    int bmpDepthIndex = 0;  // 0 24-bit, 1 16-bit, 2 8-bit, 3 4-bit
    bool saveImmediately = true;
    int jpegQuality = 75;
    int jpegSmoothing = 0;
    bool jpegOptimize = true;
    bool hotkeyCtrl = false;
    bool hotkeyShift = false;
    bool hotkeyAlt = false;
    int hotkeyKey = 117;  // VK_F6
    std::uint32_t freehandColor = 57472;  // COLORREF of RGB(128, 224, 0)
    bool shutterSound = true;

    // Availability of the two dependent controls (see ApplyOptionDependencies).
    bool autoCountEnabled = true;
    bool autoSaveEnabled = true;
};

constexpr const char* kConfigSection = "基础配置";
constexpr const char* kConfigFileName = "岚影抓图配置文件.dat";
constexpr int kNumConfigKeys = 31;

// The keys in the order they are written to a fresh file, and in the order they are read.
const std::vector<const char*>& ConfigKeysInWriteOrder();
const std::vector<const char*>& ConfigKeysInReadOrder();

// Value rules of the file: booleans are "1" (false) and "2" (true); integers are read as the leading
// decimal integer of the text (0 when there is none).
std::string EncodeBool(bool value);
// "1" -> false, "2" -> true, any other value (including a missing key) -> fallback.
bool DecodeBool(std::string_view text, bool fallback);
std::int32_t ParseLeadingInt(std::string_view text);

// All keys with their encoded values, in write order.
std::vector<std::pair<std::string, std::string>> EncodeSettings(const AppSettings& settings);

// Builds the record from a file's values. `readValue` returns the value of a key ("" when missing) and is
// called once per key in read order. Values outside the format keep the first-run default: a boolean that is
// neither "1" nor "2", a group with no "2"; a group with several takes the first in the consumers' order; a
// BMP depth index outside 0-3 becomes 0. JPEG values are taken as stored (the JPEG dialog clamps them).
AppSettings DecodeSettings(const std::function<std::string(const char* key)>& readValue);

// Longest prefix and counter texts taken from a file (a file name component holds at most 255 bytes).
constexpr std::size_t kMaxPrefixBytes = 200;
constexpr std::size_t kMaxCounterBytes = 32;

// The longest start of `text` of at most maxBytes that does not split a GBK double-byte character.
std::string TruncateGbk(std::string_view text, std::size_t maxBytes);

// The two invariants: AutoCount is available only with the running number on (else the policy falls back to
// Ask), and autoSave is available only while saveImmediately is on (its tick is kept).
void ApplyOptionDependencies(AppSettings& settings);
