#include "settings/app_settings.h"

#include <array>
#include <charconv>
#include <climits>

namespace {

// Which field a key stands for. Radio groups have one key per value.
enum class Field {
    CaptureFull, CaptureFreehand, CaptureRect, HideWindow,
    FormatJpg, FormatPng, FormatBmp, FormatGif,
    AutoSave, AutoSaveFolder, UsePrefix, Prefix, UseAutoNumber, Counter, UseDate,
    PolicySaveDialog, PolicyAsk, PolicyOverwrite, KeepCursor, PolicyAutoCount,
    BmpDepth, SaveImmediately, JpegQuality, JpegSmoothing, JpegOptimize,
    HotkeyCtrl, HotkeyShift, HotkeyAlt, HotkeyKey, FreehandColor, ShutterSound,
};

struct KeyInfo {
    const char* key;
    Field field;
};

// Write order. "不重命名" holds the SaveDialog button and "重命名" the Overwrite button: stored files rely on it.
constexpr std::array<KeyInfo, kNumConfigKeys> kKeys{{
    {"抓取全屏", Field::CaptureFull},
    {"抓取任意区域", Field::CaptureFreehand},
    {"抓取长方形区域", Field::CaptureRect},
    {"抓图隐藏本窗口", Field::HideWindow},
    {"JPG.选中", Field::FormatJpg},
    {"PNG.选中", Field::FormatPng},
    {"BMP.选中", Field::FormatBmp},
    {"GIF.选中", Field::FormatGif},
    {"自动保存", Field::AutoSave},
    {"自动保存路径", Field::AutoSaveFolder},
    {"前缀选择", Field::UsePrefix},
    {"前缀", Field::Prefix},
    {"自动", Field::UseAutoNumber},
    {"计数器", Field::Counter},
    {"日期", Field::UseDate},
    {"不重命名", Field::PolicySaveDialog},
    {"询问", Field::PolicyAsk},
    {"重命名", Field::PolicyOverwrite},
    {"保留鼠标", Field::KeepCursor},
    {"自动计数", Field::PolicyAutoCount},
    {"BMP图片质量", Field::BmpDepth},
    {"立即保存", Field::SaveImmediately},
    {"JPG质量", Field::JpegQuality},
    {"JPG柔化", Field::JpegSmoothing},
    {"优化编码", Field::JpegOptimize},
    {"热键CTRL", Field::HotkeyCtrl},
    {"热键SHIFT", Field::HotkeyShift},
    {"热键ALT", Field::HotkeyAlt},
    {"主热键", Field::HotkeyKey},
    {"仿vista抓图颜色", Field::FreehandColor},
    {"快门声", Field::ShutterSound},
}};

constexpr std::array<Field, kNumConfigKeys> kReadOrder{
    Field::UseDate, Field::CaptureFull, Field::CaptureFreehand, Field::CaptureRect, Field::HideWindow,
    Field::FormatJpg, Field::FormatPng, Field::FormatBmp, Field::FormatGif, Field::AutoSave,
    Field::AutoSaveFolder, Field::UsePrefix, Field::Prefix, Field::UseAutoNumber, Field::Counter,
    Field::FreehandColor, Field::PolicySaveDialog, Field::PolicyAsk, Field::PolicyOverwrite, Field::KeepCursor,
    Field::PolicyAutoCount, Field::BmpDepth, Field::SaveImmediately, Field::JpegQuality, Field::JpegSmoothing,
    Field::JpegOptimize, Field::HotkeyCtrl, Field::HotkeyShift, Field::HotkeyAlt, Field::ShutterSound,
    Field::HotkeyKey,
};

const char* KeyOf(Field field) {
    for (const KeyInfo& info : kKeys)
        if (info.field == field) return info.key;
    return "";
}

// A radio group as seen by the consumers: the values in the order they are tested, with their keys' fields.
template <typename Enum, std::size_t N>
struct RadioGroup {
    std::array<std::pair<Enum, Field>, N> members;
};

constexpr RadioGroup<CaptureMode, 3> kCaptureGroup{{{
    {CaptureMode::FullScreen, Field::CaptureFull},
    {CaptureMode::FreehandRegion, Field::CaptureFreehand},
    {CaptureMode::RectangleRegion, Field::CaptureRect},
}}};
constexpr RadioGroup<ImageFormat, 4> kFormatGroup{{{
    {ImageFormat::Jpg, Field::FormatJpg},
    {ImageFormat::Png, Field::FormatPng},
    {ImageFormat::Bmp, Field::FormatBmp},
    {ImageFormat::Gif, Field::FormatGif},
}}};
constexpr RadioGroup<ExistingFilePolicy, 4> kPolicyGroup{{{
    {ExistingFilePolicy::SaveDialog, Field::PolicySaveDialog},
    {ExistingFilePolicy::Overwrite, Field::PolicyOverwrite},
    {ExistingFilePolicy::Ask, Field::PolicyAsk},
    {ExistingFilePolicy::AutoCount, Field::PolicyAutoCount},
}}};

}  // namespace

const std::vector<const char*>& ConfigKeysInWriteOrder() {
    static const std::vector<const char*> keys = [] {
        std::vector<const char*> v;
        for (const KeyInfo& info : kKeys) v.push_back(info.key);
        return v;
    }();
    return keys;
}

const std::vector<const char*>& ConfigKeysInReadOrder() {
    static const std::vector<const char*> keys = [] {
        std::vector<const char*> v;
        for (Field field : kReadOrder) v.push_back(KeyOf(field));
        return v;
    }();
    return keys;
}

std::string EncodeBool(bool value) { return value ? "2" : "1"; }

bool DecodeBool(std::string_view text, bool fallback) {
    switch (ParseLeadingInt(text)) {
        case 1: return false;
        case 2: return true;
        default: return fallback;
    }
}

std::int32_t ParseLeadingInt(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > INT_MAX) { value = INT_MAX + 1LL; break; }  // saturate instead of overflowing
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return std::int32_t(value);
}

std::vector<std::pair<std::string, std::string>> EncodeSettings(const AppSettings& s) {
    std::vector<std::pair<std::string, std::string>> out;
    out.reserve(kKeys.size());
    for (const KeyInfo& info : kKeys) {
        std::string value;
        switch (info.field) {
            case Field::CaptureFull: value = EncodeBool(s.captureMode == CaptureMode::FullScreen); break;
            case Field::CaptureFreehand: value = EncodeBool(s.captureMode == CaptureMode::FreehandRegion); break;
            case Field::CaptureRect: value = EncodeBool(s.captureMode == CaptureMode::RectangleRegion); break;
            case Field::HideWindow: value = EncodeBool(s.hideWindowOnCapture); break;
            case Field::FormatJpg: value = EncodeBool(s.imageFormat == ImageFormat::Jpg); break;
            case Field::FormatPng: value = EncodeBool(s.imageFormat == ImageFormat::Png); break;
            case Field::FormatBmp: value = EncodeBool(s.imageFormat == ImageFormat::Bmp); break;
            case Field::FormatGif: value = EncodeBool(s.imageFormat == ImageFormat::Gif); break;
            case Field::AutoSave: value = EncodeBool(s.autoSave); break;
            case Field::AutoSaveFolder: value = s.autoSaveFolder; break;
            case Field::UsePrefix: value = EncodeBool(s.usePrefix); break;
            case Field::Prefix: value = s.prefix; break;
            case Field::UseAutoNumber: value = EncodeBool(s.useAutoNumber); break;
            case Field::Counter: value = s.counterText; break;
            case Field::UseDate: value = EncodeBool(s.useDate); break;
            case Field::PolicySaveDialog: value = EncodeBool(s.existingFilePolicy == ExistingFilePolicy::SaveDialog); break;
            case Field::PolicyAsk: value = EncodeBool(s.existingFilePolicy == ExistingFilePolicy::Ask); break;
            case Field::PolicyOverwrite: value = EncodeBool(s.existingFilePolicy == ExistingFilePolicy::Overwrite); break;
            case Field::KeepCursor: value = EncodeBool(s.keepCursor); break;
            case Field::PolicyAutoCount: value = EncodeBool(s.existingFilePolicy == ExistingFilePolicy::AutoCount); break;
            case Field::BmpDepth: value = std::to_string(s.bmpDepthIndex); break;
            case Field::SaveImmediately: value = EncodeBool(s.saveImmediately); break;
            case Field::JpegQuality: value = std::to_string(s.jpegQuality); break;
            case Field::JpegSmoothing: value = std::to_string(s.jpegSmoothing); break;
            case Field::JpegOptimize: value = EncodeBool(s.jpegOptimize); break;
            case Field::HotkeyCtrl: value = EncodeBool(s.hotkeyCtrl); break;
            case Field::HotkeyShift: value = EncodeBool(s.hotkeyShift); break;
            case Field::HotkeyAlt: value = EncodeBool(s.hotkeyAlt); break;
            case Field::HotkeyKey: value = std::to_string(s.hotkeyKey); break;
            // COLORREF is unsigned; the file holds it as a signed 32-bit integer like every other number.
            case Field::FreehandColor: value = std::to_string(std::int32_t(s.freehandColor)); break;
            case Field::ShutterSound: value = EncodeBool(s.shutterSound); break;
        }
        out.emplace_back(info.key, std::move(value));
    }
    return out;
}

namespace {

template <typename Enum, std::size_t N>
Enum ResolveGroup(const RadioGroup<Enum, N>& group, Enum current, auto rawOf) {
    // Each button keeps its default state when its value is not "1" or "2"; the first set one wins.
    for (const auto& [value, field] : group.members)
        if (DecodeBool(rawOf(field), value == current)) return value;
    return current;
}

}  // namespace

AppSettings DecodeSettings(const std::function<std::string(const char* key)>& readValue) {
    std::array<std::string, kNumConfigKeys> raw;  // indexed by Field
    for (Field field : kReadOrder) raw[std::size_t(field)] = readValue(KeyOf(field));
    auto rawOf = [&raw](Field field) -> const std::string& { return raw[std::size_t(field)]; };

    AppSettings s;
    s.captureMode = ResolveGroup(kCaptureGroup, s.captureMode, rawOf);
    s.imageFormat = ResolveGroup(kFormatGroup, s.imageFormat, rawOf);
    s.existingFilePolicy = ResolveGroup(kPolicyGroup, s.existingFilePolicy, rawOf);

    auto boolean = [&](Field field, bool& target) { target = DecodeBool(rawOf(field), target); };
    boolean(Field::HideWindow, s.hideWindowOnCapture);
    boolean(Field::AutoSave, s.autoSave);
    boolean(Field::UsePrefix, s.usePrefix);
    boolean(Field::UseAutoNumber, s.useAutoNumber);
    boolean(Field::UseDate, s.useDate);
    boolean(Field::KeepCursor, s.keepCursor);
    boolean(Field::SaveImmediately, s.saveImmediately);
    boolean(Field::JpegOptimize, s.jpegOptimize);
    boolean(Field::HotkeyCtrl, s.hotkeyCtrl);
    boolean(Field::HotkeyShift, s.hotkeyShift);
    boolean(Field::HotkeyAlt, s.hotkeyAlt);
    boolean(Field::ShutterSound, s.shutterSound);

    s.autoSaveFolder = rawOf(Field::AutoSaveFolder);
    // A hand-edited file may hold texts far longer than any file name can be; keep what can be used.
    s.prefix = TruncateGbk(rawOf(Field::Prefix), kMaxPrefixBytes);
    s.counterText = TruncateGbk(rawOf(Field::Counter), kMaxCounterBytes);

    s.bmpDepthIndex = ParseLeadingInt(rawOf(Field::BmpDepth));
    if (s.bmpDepthIndex < 0 || s.bmpDepthIndex > 3) s.bmpDepthIndex = 0;
    s.jpegQuality = ParseLeadingInt(rawOf(Field::JpegQuality));
    s.jpegSmoothing = ParseLeadingInt(rawOf(Field::JpegSmoothing));
    s.hotkeyKey = ParseLeadingInt(rawOf(Field::HotkeyKey));
    s.freehandColor = std::uint32_t(ParseLeadingInt(rawOf(Field::FreehandColor))) & 0x00FFFFFFu;

    ApplyOptionDependencies(s);
    return s;
}

std::string TruncateGbk(std::string_view text, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const auto lead = static_cast<unsigned char>(text[end]);
        const std::size_t width = (lead >= 0x81 && lead <= 0xFE && end + 1 < text.size()) ? 2 : 1;
        if (end + width > maxBytes) break;
        end += width;
    }
    return std::string(text.substr(0, end));
}

void ApplyOptionDependencies(AppSettings& s) {
    if (s.useAutoNumber) {
        s.autoCountEnabled = true;
    } else {
        if (s.existingFilePolicy == ExistingFilePolicy::AutoCount) s.existingFilePolicy = ExistingFilePolicy::Ask;
        s.autoCountEnabled = false;
    }
    s.autoSaveEnabled = s.saveImmediately;
}
