#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>

#include "settings/app_settings.h"

namespace {

using Values = std::map<std::string, std::string>;

AppSettings DecodeFrom(const Values& values) {
    return DecodeSettings([&values](const char* key) {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    });
}

Values AsMap(const AppSettings& s) {
    Values m;
    for (auto& [k, v] : EncodeSettings(s)) m[k] = v;
    return m;
}

TEST(ConfigKeys, WriteAndReadOrdersHoldTheSame31Keys) {
    const std::vector<std::string> write(ConfigKeysInWriteOrder().begin(), ConfigKeysInWriteOrder().end());
    const std::vector<std::string> expected = {
        "抓取全屏", "抓取任意区域", "抓取长方形区域", "抓图隐藏本窗口", "JPG.选中", "PNG.选中", "BMP.选中",
        "GIF.选中", "自动保存", "自动保存路径", "前缀选择", "前缀", "自动", "计数器", "日期", "不重命名", "询问",
        "重命名", "保留鼠标", "自动计数", "BMP图片质量", "立即保存", "JPG质量", "JPG柔化", "优化编码", "热键CTRL",
        "热键SHIFT", "热键ALT", "主热键", "仿vista抓图颜色", "快门声"};
    EXPECT_EQ(write, expected);

    std::vector<std::string> read(ConfigKeysInReadOrder().begin(), ConfigKeysInReadOrder().end());
    ASSERT_EQ(read.size(), 31u);
    EXPECT_EQ(read.front(), "日期");
    EXPECT_EQ(read[15], "仿vista抓图颜色");
    EXPECT_EQ(read.back(), "主热键");
    std::sort(read.begin(), read.end());
    std::vector<std::string> sortedWrite = write;
    std::sort(sortedWrite.begin(), sortedWrite.end());
    EXPECT_EQ(read, sortedWrite);
}

TEST(ConfigValues, BooleansAndIntegers) {
    struct { const char* text; int value; } ints[] = {
        {"", 0}, {"abc", 0}, {"12abc", 12}, {"-7", -7}, {"+5", 5}, {"  42", 42}, {"007", 7},
        {"99999999999999", 2147483647}, {"-99999999999999", INT32_MIN}, {"3.9", 3}, {"- 3", 0},
    };
    for (auto& c : ints) EXPECT_EQ(ParseLeadingInt(c.text), c.value) << '"' << c.text << '"';

    struct { const char* text; bool fallback; bool value; } bools[] = {
        {"1", true, false}, {"2", false, true}, {"2x", false, true}, {"", true, true}, {"", false, false},
        {"0", true, true}, {"3", false, false}, {"true", false, false},
    };
    for (auto& c : bools) EXPECT_EQ(DecodeBool(c.text, c.fallback), c.value) << '"' << c.text << '"';
    EXPECT_EQ(EncodeBool(true), "2");
    EXPECT_EQ(EncodeBool(false), "1");
}

TEST(ConfigValues, FirstRunDefaultsEncodeAsTheFileExpects) {
    AppSettings defaults;
    defaults.autoSaveFolder = "C:\\Desktop\\";
    const Values m = AsMap(defaults);
    const Values expected = {
        {"抓取全屏", "1"}, {"抓取任意区域", "1"}, {"抓取长方形区域", "2"}, {"抓图隐藏本窗口", "2"},
        {"JPG.选中", "1"}, {"PNG.选中", "2"}, {"BMP.选中", "1"}, {"GIF.选中", "1"}, {"自动保存", "2"},
        {"自动保存路径", "C:\\Desktop\\"}, {"前缀选择", "2"}, {"前缀", "岚影抓图"}, {"自动", "2"}, {"计数器", "1"},
        {"日期", "1"}, {"不重命名", "1"}, {"询问", "1"}, {"重命名", "1"}, {"保留鼠标", "2"}, {"自动计数", "2"},
        {"BMP图片质量", "0"}, {"立即保存", "2"}, {"JPG质量", "75"}, {"JPG柔化", "0"}, {"优化编码", "2"},
        {"热键CTRL", "1"}, {"热键SHIFT", "1"}, {"热键ALT", "1"}, {"主热键", "117"}, {"仿vista抓图颜色", "57472"},
        {"快门声", "2"}};
    EXPECT_EQ(m, expected);
}

TEST(ConfigValues, EveryFieldSurvivesARoundTrip) {
    AppSettings s;
    s.captureMode = CaptureMode::FreehandRegion;
    s.hideWindowOnCapture = false;
    s.imageFormat = ImageFormat::Gif;
    s.autoSave = false;
    s.autoSaveFolder = "D:\\抓图";
    s.usePrefix = false;
    s.prefix = "截图 x";
    s.useDate = true;
    s.useAutoNumber = false;
    s.counterText = "007";
    s.existingFilePolicy = ExistingFilePolicy::Overwrite;
    s.keepCursor = false;
    s.bmpDepthIndex = 3;
    s.saveImmediately = false;
    s.jpegQuality = 33;
    s.jpegSmoothing = 12;
    s.jpegOptimize = false;
    s.hotkeyCtrl = s.hotkeyShift = s.hotkeyAlt = true;
    s.hotkeyKey = 0x51;
    s.freehandColor = 0x00123456;
    s.shutterSound = false;
    const AppSettings back = DecodeFrom(AsMap(s));
    EXPECT_EQ(AsMap(back), AsMap(s));
    EXPECT_FALSE(back.autoCountEnabled);
    EXPECT_FALSE(back.autoSaveEnabled);

    // The pairing of the policy keys is fixed by stored files: "重命名" is Overwrite, "不重命名" SaveDialog.
    EXPECT_EQ(AsMap(s).at("重命名"), "2");
    s.existingFilePolicy = ExistingFilePolicy::SaveDialog;
    EXPECT_EQ(AsMap(s).at("不重命名"), "2");
}

TEST(ConfigLoad, DependenciesAreAppliedAfterLoading) {
    AppSettings noNumber = DecodeFrom({{"自动", "1"}, {"自动计数", "2"}});
    EXPECT_EQ(noNumber.existingFilePolicy, ExistingFilePolicy::Ask);
    EXPECT_FALSE(noNumber.autoCountEnabled);

    AppSettings notImmediate = DecodeFrom({{"立即保存", "1"}, {"自动保存", "2"}});
    EXPECT_TRUE(notImmediate.autoSave);
    EXPECT_FALSE(notImmediate.autoSaveEnabled);

    AppSettings withNumber = DecodeFrom({{"自动", "2"}, {"自动计数", "2"}});
    EXPECT_EQ(withNumber.existingFilePolicy, ExistingFilePolicy::AutoCount);
    EXPECT_TRUE(withNumber.autoCountEnabled);
}

TEST(ConfigLoad, HandEditedGroupsAndRangesResolveToUsableValues) {
    struct Case {
        Values values;
        CaptureMode mode;
        ImageFormat format;
        ExistingFilePolicy policy;
    } cases[] = {
        // No "2" anywhere: every group keeps its first-run value.
        {{{"抓取全屏", "1"}, {"抓取任意区域", "1"}, {"抓取长方形区域", "1"}, {"PNG.选中", "1"}, {"自动计数", "1"}},
         CaptureMode::RectangleRegion, ImageFormat::Png, ExistingFilePolicy::AutoCount},
        // Several "2": the first in the order the consumers test wins.
        {{{"抓取任意区域", "2"}, {"抓取长方形区域", "2"}, {"GIF.选中", "2"}, {"BMP.选中", "2"}, {"PNG.选中", "1"},
          {"询问", "2"}, {"重命名", "2"}},
         CaptureMode::FreehandRegion, ImageFormat::Bmp, ExistingFilePolicy::Overwrite},
        {{{"抓取全屏", "2"}, {"JPG.选中", "2"}, {"不重命名", "2"}},
         CaptureMode::FullScreen, ImageFormat::Jpg, ExistingFilePolicy::SaveDialog},
    };
    for (const Case& c : cases) {
        const AppSettings s = DecodeFrom(c.values);
        EXPECT_EQ(s.captureMode, c.mode);
        EXPECT_EQ(s.imageFormat, c.format);
        EXPECT_EQ(s.existingFilePolicy, c.policy);
    }

    for (const char* depth : {"-1", "4", "abc", "99999999999"})
        EXPECT_EQ(DecodeFrom({{"BMP图片质量", depth}}).bmpDepthIndex, 0) << depth;
    EXPECT_EQ(DecodeFrom({{"BMP图片质量", "2"}}).bmpDepthIndex, 2);
    // Booleans outside the format keep their first-run value; JPEG values are kept as stored.
    const AppSettings odd = DecodeFrom({{"快门声", "0"}, {"日期", "yes"}, {"JPG质量", "250"}, {"JPG柔化", "-4"}});
    EXPECT_TRUE(odd.shutterSound);
    EXPECT_FALSE(odd.useDate);
    EXPECT_EQ(odd.jpegQuality, 250);
    EXPECT_EQ(odd.jpegSmoothing, -4);
}

TEST(ConfigLoad, OverlongTextsAreCutWithoutSplittingACharacter) {
    std::string longPrefix;
    longPrefix += 'a';
    while (longPrefix.size() < 20000) longPrefix += "岚";  // two GBK bytes each
    const AppSettings s = DecodeFrom({{"前缀", longPrefix}, {"计数器", std::string(5000, '9')}});
    EXPECT_EQ(s.prefix.size(), kMaxPrefixBytes - 1);  // 'a' + 99 characters of 2 bytes
    EXPECT_EQ(s.prefix.substr(1, 2), std::string("岚"));
    EXPECT_EQ(s.counterText, std::string(kMaxCounterBytes, '9'));
    EXPECT_EQ(TruncateGbk("岚影", 3), std::string("岚"));
    EXPECT_EQ(TruncateGbk("ab", 5), "ab");
}

}  // namespace
