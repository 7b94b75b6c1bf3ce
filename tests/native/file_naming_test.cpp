#include "output/file_naming.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

constexpr LocalDateTime kAfternoon{2009, 6, 7, 14, 5, 9};

FileNameOptions Options(bool usePrefix, bool useDate, bool useAutoNumber, std::string prefix = "岚影抓图",
                        std::string counter = "1", std::optional<ImageFormat> format = ImageFormat::Png) {
    FileNameOptions o;
    o.usePrefix = usePrefix;
    o.prefix = std::move(prefix);
    o.useDate = useDate;
    o.useAutoNumber = useAutoNumber;
    o.counterText = std::move(counter);
    o.imageFormat = format;
    return o;
}

TEST(FileNaming, NarrowLiteralsAreGbk) {
    // Every other expectation here is a narrow literal too; this pins the bytes the names really carry.
    EXPECT_EQ(FormatTimestamp({2009, 6, 7, 14, 5, 9}),
              "2009\xC4\xEA" "6\xD4\xC2" "7\xC8\xD5" "14\xCA\xB1" "5\xB7\xD6" "9\xC3\xEB");
}

TEST(FileNaming, TimestampDropsTrailingZeroFields) {
    struct Case {
        LocalDateTime time;
        const char* expected;
    } cases[] = {
        {{2009, 6, 7, 14, 5, 9}, "2009年6月7日14时5分9秒"},
        {{2009, 6, 7, 14, 5, 0}, "2009年6月7日14时5分"},
        {{2009, 6, 7, 14, 0, 0}, "2009年6月7日14时"},
        {{2009, 6, 7, 0, 0, 0}, "2009年6月7日"},
        // Only trailing zeros go: inner zeros stay written out.
        {{2009, 6, 7, 0, 0, 9}, "2009年6月7日0时0分9秒"},
        {{2009, 6, 7, 14, 0, 9}, "2009年6月7日14时0分9秒"},
        {{2009, 6, 7, 0, 5, 0}, "2009年6月7日0时5分"},
        {{2010, 12, 25, 23, 59, 59}, "2010年12月25日23时59分59秒"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatTimestamp(c.time), c.expected) << c.expected;
}

TEST(FileNaming, DatePartHasNoLeadingZeros) {
    EXPECT_EQ(FormatDatePart({2009, 6, 7, 14, 5, 9}), "2009-6-7");
    EXPECT_EQ(FormatDatePart({2010, 12, 25, 0, 0, 0}), "2010-12-25");
}

TEST(FileNaming, ExtensionPerFormat) {
    EXPECT_EQ(FileExtension(ImageFormat::Jpg), ".jpg");
    EXPECT_EQ(FileExtension(ImageFormat::Png), ".png");
    EXPECT_EQ(FileExtension(ImageFormat::Bmp), ".bmp");
    EXPECT_EQ(FileExtension(ImageFormat::Gif), ".gif");
    EXPECT_EQ(FileExtension(std::nullopt), "");
}

TEST(FileNaming, AdvanceCounterTakesTheLeadingNumber) {
    struct Case {
        const char* counter;
        const char* expected;
    } cases[] = {
        {"1", "2"},
        {"9", "10"},
        {"007", "8"},
        {"1.5", "2.5"},
        {"abc", "1"},
        {"", "1"},
        {"12abc", "13"},
        {"-3", "-2"},
        {"-1", "0"},
        {"-0.5", "0.5"},
        {"+5", "6"},
        {" 5", "6"},
        {".5", "1.5"},
        {"5.", "6"},
        {"1.2.3", "2.2"},
        {".", "1"},
        {"-", "1"},
        {"+-1", "1"},
        {"0.1", "1.1"},
        {"00000000000000000000000000042", "43"},
        // Complete exponents count; an incomplete one is text after the number.
        {"1e5", "100001"},
        {"1E-2", "1.01"},
        {"2e+3x", "2001"},
        {"1e", "2"},
        {"1e+", "2"},
        {"0e99999", "1"},
        // Not decimal numbers.
        {"inf", "1"},
        {"nan", "1"},
        {"0x10", "1"},  // the 0 before the x
        {"e5", "1"},
        {"岚影", "1"},
        {"\xA3\xB1\xA3\xB2", "1"},  // full-width 12 in GBK
        {"3岚", "4"},
        // Thirteen significant digits.
        {"999999999999", "1000000000000"},
        {"9999999999999", "1e+13"},
        {"1e+13", "1e+13"},
        {"12345678901234567890", "1.234567890123e+19"},
        {"1.0000000000001", "2"},
        // Beyond a double: the largest double, never "inf".
        {"1e400", "1.797693134862e+308"},
        {"-1e400", "-1.797693134862e+308"},
        {"1e99999999999999999999999", "1.797693134862e+308"},
        {"0.0001e-400", "1"},
        {"1e-99999999999999999999999", "1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AdvanceCounter(c.counter), c.expected) << "counter \"" << c.counter << "\"";
}

TEST(FileNaming, AdvanceCounterHandlesHugeTexts) {
    // A counter text can be as long as a configuration value; overflow must not come out as "inf".
    const std::string manyDigits = "1" + std::string(5000, '0');
    EXPECT_EQ(AdvanceCounter(manyDigits), "1.797693134862e+308");
    const std::string tinyFraction = "0." + std::string(5000, '0') + "1";
    EXPECT_EQ(AdvanceCounter(tinyFraction), "1");
}

TEST(FileNaming, RepeatedAdvancesDoNotAccumulateErrors) {
    std::string counter = "0";
    for (int i = 0; i < 1000; ++i)
        counter = AdvanceCounter(counter);
    EXPECT_EQ(counter, "1000");

    // Binary fractions drift (0.1 + 1 + 1 ... is not exactly 10.1); thirteen digits hide the drift.
    counter = "0.1";
    for (int i = 0; i < 10; ++i)
        counter = AdvanceCounter(counter);
    EXPECT_EQ(counter, "10.1");
}

TEST(FileNaming, ComposeCoversEveryPartCombination) {
    struct Case {
        bool prefix, date, number;
        const char* stem;
        const char* preview;
    } cases[] = {
        {true, true, true, "岚影抓图_2009-6-7_", "岚影抓图_2009-6-7_1.png"},
        {true, true, false, "岚影抓图_2009-6-7", "岚影抓图_2009-6-7.png"},
        {true, false, true, "岚影抓图_", "岚影抓图_1.png"},
        {true, false, false, "岚影抓图", "岚影抓图.png"},
        {false, true, true, "2009-6-7_", "2009-6-7_1.png"},
        {false, true, false, "2009-6-7", "2009-6-7.png"},
        {false, false, true, "", "1.png"},
        {false, false, false, "", "2009年6月7日14时5分9秒.png"},
    };
    for (const Case& c : cases) {
        const ComposedFileName name = ComposeFileName(Options(c.prefix, c.date, c.number), kAfternoon);
        EXPECT_EQ(name.stem, c.stem) << c.preview;
        EXPECT_EQ(name.preview, c.preview);
    }
}

TEST(FileNaming, ComposeEdgeCases) {
    struct Case {
        FileNameOptions options;
        LocalDateTime now;
        const char* stem;
        const char* preview;
    } cases[] = {
        // An empty prefix still brings its separator.
        {Options(true, true, false, ""), kAfternoon, "_2009-6-7", "_2009-6-7.png"},
        // ... but alone it leaves nothing in front of the extension: the timestamp name.
        {Options(true, false, false, ""), kAfternoon, "", "2009年6月7日14时5分9秒.png"},
        {Options(false, false, true, "x", ""), kAfternoon, "", "2009年6月7日14时5分9秒.png"},
        {Options(false, false, false), {2009, 6, 7, 0, 0, 0}, "", "2009年6月7日.png"},
        {Options(false, false, true, "x", "1", ImageFormat::Jpg), kAfternoon, "", "1.jpg"},
        // The counter stands as typed.
        {Options(true, false, true, "岚影抓图", "007"), kAfternoon, "岚影抓图_", "岚影抓图_007.png"},
        {Options(true, false, true, "岚影抓图", "15", ImageFormat::Bmp), kAfternoon, "岚影抓图_", "岚影抓图_15.bmp"},
        {Options(true, false, true, "岚影抓图", "1", std::nullopt), kAfternoon, "岚影抓图_", "岚影抓图_1"},
        {Options(false, false, false, "", "1", std::nullopt), kAfternoon, "", "2009年6月7日14时5分9秒"},
        // Path characters are not filtered.
        {Options(true, false, true, "a\\b*?:", "1", ImageFormat::Gif), kAfternoon, "a\\b*?:_", "a\\b*?:_1.gif"},
        // A prefix ending in a GBK character whose trail byte is a backslash is kept intact.
        {Options(true, true, false, "誠"), kAfternoon, "誠_2009-6-7", "誠_2009-6-7.png"},
    };
    for (const Case& c : cases) {
        const ComposedFileName name = ComposeFileName(c.options, c.now);
        EXPECT_EQ(name.stem, c.stem) << c.preview;
        EXPECT_EQ(name.preview, c.preview);
    }
}

TEST(FileNaming, ProposedSaveName) {
    struct Case {
        FileNameOptions options;
        const char* stem;
        const char* expected;
    } cases[] = {
        {Options(true, false, true), "岚影抓图_", "岚影抓图_1"},
        {Options(true, true, false), "岚影抓图_2009-6-7", "岚影抓图_2009-6-7"},
        {Options(false, false, false), "", "2009年6月7日14时5分9秒"},
        // The stem is the kept one, not recomputed from the options.
        {Options(true, true, true), "岚影抓图_2009-6-6_", "岚影抓图_2009-6-6_1"},
        // Only all parts off asks for the timestamp; an empty prefix proposes an empty name.
        {Options(true, false, false, ""), "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProposedSaveName(c.options, c.stem, kAfternoon), c.expected) << c.expected;
}

TEST(FileNaming, FolderGetsExactlyOneBackslash) {
    ASSERT_STREQ("誠", "\xD5\x5C");  // the cases below rely on this trail byte
    struct Case {
        const char* folder;
        const char* expected;
    } cases[] = {
        {"C:\\Users\\me\\Desktop\\", "C:\\Users\\me\\Desktop\\"},
        {"C:\\shots", "C:\\shots\\"},
        {"C:\\", "C:\\"},
        {"", "\\"},
        {"\\", "\\"},
        // 誠 is 0xD5 0x5C: its second byte is not a backslash character.
        {"D:\\誠", "D:\\誠\\"},
        {"D:\\誠\\", "D:\\誠\\"},
        {"D:\\截图", "D:\\截图\\"},
        // The pairs are counted from the start: 0x81 0x81 is one character, so the 0x5C after it stands alone.
        {"\x81\x81\\", "\x81\x81\\"},
        {"a\x81\\", "a\x81\\\\"},
        // A lead byte cut off at the end is a character of its own.
        {"D:\\\x81", "D:\\\x81\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderWithBackslash(c.folder), c.expected) << c.folder;
}

TEST(FileNaming, AutoSaveBase) {
    struct Case {
        FileNameOptions options;
        const char* stem;
        const char* expected;
    } cases[] = {
        {Options(true, false, true), "岚影抓图_", "C:\\s\\岚影抓图_1"},
        {Options(true, false, true, "岚影抓图", "007"), "岚影抓图_", "C:\\s\\岚影抓图_007"},
        {Options(true, true, false), "岚影抓图_2009-6-7", "C:\\s\\岚影抓图_2009-6-7"},
        {Options(false, false, false), "", "C:\\s\\2009年6月7日14时5分9秒"},
        // Whatever leaves nothing after the folder gives the timestamp name.
        {Options(true, false, false, ""), "", "C:\\s\\2009年6月7日14时5分9秒"},
        {Options(false, false, true, "", ""), "", "C:\\s\\2009年6月7日14时5分9秒"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AutoSaveBase("C:\\s\\", c.options, c.stem, kAfternoon), c.expected) << c.expected;
}

struct FakeFolder {
    std::set<std::string> files;
    std::vector<std::string> asked;
    std::function<bool(const std::string&)> Exists() {
        return [this](const std::string& path) {
            asked.push_back(path);
            return files.count(path) != 0;
        };
    }
};

TEST(FileNaming, AutoCountTakesTheFirstFreeNumber) {
    struct Case {
        std::set<std::string> files;
        const char* taken;
        std::vector<std::string> asked;
        const char* counter;
    } cases[] = {
        // 岚影抓图_2.png was there before the second capture.
        {{"C:\\s\\岚影抓图_2.png"}, "2", {"C:\\s\\岚影抓图_3.png"}, "3"},
        {{"C:\\s\\岚影抓图_5.png", "C:\\s\\岚影抓图_6.png", "C:\\s\\岚影抓图_7.png"},
         "5",
         {"C:\\s\\岚影抓图_6.png", "C:\\s\\岚影抓图_7.png", "C:\\s\\岚影抓图_8.png"},
         "8"},
        // The search goes by value; the zeros of the typed counter do not survive it.
        {{"C:\\s\\岚影抓图_007.png"}, "007", {"C:\\s\\岚影抓图_8.png"}, "8"},
        {{"C:\\s\\岚影抓图_9.png"}, "9", {"C:\\s\\岚影抓图_10.png"}, "10"},
    };
    for (const Case& c : cases) {
        FakeFolder folder{c.files, {}};
        const auto found = FindFreeAutoCountName("C:\\s\\", "岚影抓图_", c.taken, ".png", folder.Exists());
        ASSERT_TRUE(found.has_value()) << c.taken;
        EXPECT_EQ(folder.asked, c.asked) << c.taken;
        EXPECT_EQ(found->path, c.asked.back());
        EXPECT_EQ(found->counterText, c.counter);
    }
}

TEST(FileNaming, AutoCountGivesUpInsteadOfReusingATakenName) {
    // A counter past thirteen digits no longer changes: the same taken name would be tried forever.
    FakeFolder stuck{{"C:\\s\\1e+13.png"}, {}};
    EXPECT_FALSE(FindFreeAutoCountName("C:\\s\\", "", "9999999999999", ".png", stuck.Exists()).has_value());
    EXPECT_EQ(stuck.asked, std::vector<std::string>{"C:\\s\\1e+13.png"});

    FakeFolder stuckAtOnce{{}, {}};
    EXPECT_FALSE(FindFreeAutoCountName("C:\\s\\", "", "1e+13", ".png", stuckAtOnce.Exists()).has_value());
    EXPECT_TRUE(stuckAtOnce.asked.empty());

    // A folder where every name seems taken stops after the allowed number of tries.
    std::size_t calls = 0;
    const auto everything = [&calls](const std::string&) { return ++calls, true; };
    EXPECT_FALSE(FindFreeAutoCountName("C:\\s\\", "x_", "1", ".png", everything, 50).has_value());
    EXPECT_EQ(calls, 50u);
}

TEST(FileNaming, SaveFormatFromChosenPath) {
    struct Case {
        const char* path;
        std::optional<ImageFormat> expected;
    } cases[] = {
        {"C:\\s\\shot.jpg", ImageFormat::Jpg},
        {"C:\\s\\shot.png", ImageFormat::Png},
        {"C:\\s\\shot.bmp", ImageFormat::Bmp},
        {"C:\\s\\shot.gif", ImageFormat::Gif},
        {"C:\\s\\a.b.png", ImageFormat::Png},
        {"C:\\s\\岚影抓图_1.gif", ImageFormat::Gif},
        {"C:\\s\\shot.JPG", std::nullopt},
        {"C:\\s\\shot.jpeg", std::nullopt},
        {"C:\\s\\shot.", std::nullopt},
        {"C:\\my.dir\\shot", std::nullopt},
        {"C:\\s\\png", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SaveFormatFromPath(c.path), c.expected) << c.path;
}

TEST(FileNaming, DialogSaveTargetIgnoresCaseAndFallsBackToTheSelectedType) {
    struct Case {
        const char* chosen;
        ImageFormat selected;
        const char* path;
        ImageFormat format;
        bool appended;
    } cases[] = {
        {"C:\\s\\shot.jpg", ImageFormat::Png, "C:\\s\\shot.jpg", ImageFormat::Jpg, false},
        {"C:\\s\\shot.JPG", ImageFormat::Png, "C:\\s\\shot.JPG", ImageFormat::Jpg, false},
        {"C:\\s\\shot.Png", ImageFormat::Gif, "C:\\s\\shot.Png", ImageFormat::Png, false},
        {"C:\\s\\shot.bMp", ImageFormat::Jpg, "C:\\s\\shot.bMp", ImageFormat::Bmp, false},
        {"C:\\s\\shot.GIF", ImageFormat::Jpg, "C:\\s\\shot.GIF", ImageFormat::Gif, false},
        {"C:\\s\\a.b.png", ImageFormat::Bmp, "C:\\s\\a.b.png", ImageFormat::Png, false},
        // Anything else is saved in the type picked in the dialog, under a name that says so.
        {"C:\\s\\shot", ImageFormat::Bmp, "C:\\s\\shot.bmp", ImageFormat::Bmp, true},
        {"C:\\s\\shot.jpeg", ImageFormat::Jpg, "C:\\s\\shot.jpeg.jpg", ImageFormat::Jpg, true},
        {"C:\\s\\shot.txt", ImageFormat::Gif, "C:\\s\\shot.txt.gif", ImageFormat::Gif, true},
        {"C:\\s\\shot.", ImageFormat::Png, "C:\\s\\shot.png", ImageFormat::Png, true},
        {"C:\\my.dir\\shot", ImageFormat::Png, "C:\\my.dir\\shot.png", ImageFormat::Png, true},
        {"C:\\s\\png", ImageFormat::Jpg, "C:\\s\\png.jpg", ImageFormat::Jpg, true},
        {"C:\\s\\岚影抓图_1", ImageFormat::Png, "C:\\s\\岚影抓图_1.png", ImageFormat::Png, true},
        // Non-ASCII letters are not folded: full-width "ＰＮＧ" is no extension.
        {"C:\\s\\a.ＰＮＧ", ImageFormat::Bmp, "C:\\s\\a.ＰＮＧ.bmp", ImageFormat::Bmp, true},
    };
    for (const Case& c : cases) {
        const DialogSaveTarget target = ResolveDialogSaveTarget(c.chosen, c.selected);
        EXPECT_EQ(target.path, c.path) << c.chosen;
        EXPECT_EQ(target.format, c.format) << c.chosen;
        EXPECT_EQ(target.extensionAppended, c.appended) << c.chosen;
    }
}

}  // namespace
