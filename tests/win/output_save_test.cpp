// The save flow, run in-process: the automatic save with its four policies, the Save dialog (driven from a
// helper thread), the file of each format checked with libpng, giflib and by its headers, and the faults.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "imaging/converter.h"
#include "output/naming_win.h"
#include "output/save_flow_win.h"
#include "tests/win/output_support.h"

using namespace output_test;

namespace {

constexpr ColorRef kRed = MakeColorRef(255, 0, 0), kGreen = MakeColorRef(0, 255, 0),
                   kBlue = MakeColorRef(0, 0, 255), kWhite = MakeColorRef(255, 255, 255),
                   kBlack = MakeColorRef(0, 0, 0), kOrange = MakeColorRef(255, 128, 7);

// The top row holds colours whose reduced forms are known; the rest is a busy pattern, so JPEG settings
// leave their mark in the bytes.
ColorRef CaptureColour(int x, int y) {
    static const ColorRef top[] = {kRed, kGreen, kBlue, kWhite, kBlack, kOrange};
    if (y == 0 && x < 6) return top[x];
    return MakeColorRef(std::uint8_t(x * 37 + y * 11), std::uint8_t((x * y * 7) ^ (y * 29)), std::uint8_t(x * 5 + y * 17));
}

constexpr int kWidth = 37, kHeight = 23;

std::string Str(const ByteArray& b) { return std::string(b.begin(), b.end()); }

class OutputSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        capture_ = Bmp24(kWidth, kHeight, CaptureColour);
        SetCapture(capture_);
        ResetAppState(folder_.Path());
    }
    void TearDown() override {
        ClearCapture();
        App().settingsChanged = nullptr;
    }

    std::string Saved(const std::string& leaf) const { return folder_.File(leaf); }

    // Runs SaveAfterCapture with no dialog expected.
    void SaveQuietly() {
        DialogDriver driver;
        SaveAfterCapture();
        const std::vector<SeenDialog> seen = driver.Finish();
        EXPECT_TRUE(seen.empty()) << Summary(seen);
    }

    ByteArray capture_;
    ScratchFolder folder_{"save"};
};

// ---- Names, numbers and policies ----

TEST_F(OutputSaveTest, DefaultsNumberTheFilesAndKeepTheCounterOneAhead) {
    for (int i = 1; i <= 3; ++i) SaveQuietly();
    EXPECT_EQ(ListFiles(folder_.Path()),
              (std::vector<std::string>{"岚影抓图_1.png", "岚影抓图_2.png", "岚影抓图_3.png"}));
    EXPECT_EQ(App().settings.counterText, "4");
    EXPECT_EQ(App().namePreview, "岚影抓图_4.png");
    EXPECT_EQ(App().lastSavedPath, Saved("岚影抓图_3.png"));
}

TEST_F(OutputSaveTest, AutoCountSkipsANameThatIsTaken) {
    SaveQuietly();
    ASSERT_TRUE(WriteBytes(Saved("岚影抓图_2.png"), "someone else's picture"));
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, Saved("岚影抓图_3.png"));
    EXPECT_EQ(App().settings.counterText, "4");
    EXPECT_EQ(ReadBytes(Saved("岚影抓图_2.png")), "someone else's picture");
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, Saved("岚影抓图_4.png"));
    EXPECT_EQ(ListFiles(folder_.Path()),
              (std::vector<std::string>{"岚影抓图_1.png", "岚影抓图_2.png", "岚影抓图_3.png", "岚影抓图_4.png"}));
    EXPECT_EQ(App().settings.counterText, "5");
}

TEST_F(OutputSaveTest, TypedCounterStandsInTheNameAndAdvancesByValue) {
    SetCounterText("007");
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, Saved("岚影抓图_007.png"));
    EXPECT_EQ(App().settings.counterText, "8");
    EXPECT_EQ(App().namePreview, "岚影抓图_8.png");
}

TEST_F(OutputSaveTest, OverwriteWithoutNumberReplacesTheSameFile) {
    App().settings.useAutoNumber = false;
    OnAutoNumberClicked();  // AutoCount falls back to Ask
    App().settings.existingFilePolicy = ExistingFilePolicy::Overwrite;
    ASSERT_TRUE(WriteBytes(Saved("岚影抓图.png"), "old"));
    for (int i = 0; i < 2; ++i) {
        SaveQuietly();
        EXPECT_EQ(ListFiles(folder_.Path()), std::vector<std::string>{"岚影抓图.png"});
        EXPECT_EQ(ReadBytes(Saved("岚影抓图.png"))->substr(1, 3), "PNG");
    }
    EXPECT_EQ(App().settings.counterText, "1") << "no running number, no advance";
    EXPECT_EQ(App().lastSavedPath, Saved("岚影抓图.png"));
}

TEST_F(OutputSaveTest, AskYesReplacesTheFile) {
    App().settings.existingFilePolicy = ExistingFilePolicy::Ask;
    ASSERT_TRUE(WriteBytes(Saved("岚影抓图_1.png"), "old"));
    DialogDriver driver({Box(kExistingFileTitle, IDYES)});
    SaveAfterCapture();
    const std::vector<SeenDialog> seen = driver.Finish();
    ASSERT_EQ(seen.size(), 1u) << Summary(seen);
    EXPECT_TRUE(seen[0].expected);
    EXPECT_EQ(seen[0].text, "保存文件时发现重名文件，是否覆盖？\r\n按是 覆盖保存   按否 编辑命名");
    EXPECT_TRUE(seen[0].hasYes && seen[0].hasNo);
    EXPECT_EQ(seen[0].icon, SeenDialog::Icon::Question);
    EXPECT_EQ(ReadBytes(Saved("岚影抓图_1.png"))->substr(1, 3), "PNG");
    EXPECT_EQ(App().lastSavedPath, Saved("岚影抓图_1.png"));
    EXPECT_EQ(App().settings.counterText, "2");
}

// The dialog routes of the automatic save record the file chosen in the dialog and advance the number once.
TEST_F(OutputSaveTest, AskNoAndSaveDialogPolicyOpenTheDialogWithTheProposedName) {
    struct Case {
        ExistingFilePolicy policy;
        std::vector<DialogStep> steps;
    } cases[] = {
        {ExistingFilePolicy::Ask, {Box(kExistingFileTitle, IDNO), SaveAs("chosen")}},
        {ExistingFilePolicy::SaveDialog, {SaveAs("chosen")}},
    };
    for (Case& c : cases) {
        ResetAppState(folder_.Path());
        RemoveTree(Saved("chosen.png"));
        App().settings.existingFilePolicy = c.policy;
        ASSERT_TRUE(WriteBytes(Saved("岚影抓图_1.png"), "old"));
        const std::size_t steps = c.steps.size();
        DialogDriver driver(std::move(c.steps));
        SaveAfterCapture();
        const std::vector<SeenDialog> seen = driver.Finish();
        ASSERT_EQ(seen.size(), steps) << Summary(seen) << int(c.policy);
        const SeenDialog& dialog = seen.back();
        EXPECT_TRUE(dialog.isSaveDialog && dialog.expected);
        EXPECT_EQ(dialog.fileName, "岚影抓图_1") << "proposed without extension";
        EXPECT_EQ(dialog.typeIndex, 1) << "the PNG entry";
        EXPECT_EQ(dialog.typeEntries, (std::vector<std::string>{"*.jpg", "*.png", "*.bmp", "*.gif"}));
        // A bare name lands in the initial folder with the selected type's extension.
        EXPECT_EQ(ReadBytes(Saved("chosen.png")).value_or("").substr(1, 3), "PNG");
        EXPECT_EQ(ReadBytes(Saved("岚影抓图_1.png")), "old");
        EXPECT_EQ(App().lastSavedPath, Saved("chosen.png"));
        EXPECT_EQ(App().settings.counterText, "2");
    }
}

TEST_F(OutputSaveTest, CancelledDialogChangesNothing) {
    App().settings.existingFilePolicy = ExistingFilePolicy::SaveDialog;
    App().lastSavedPath = "C:\\earlier.png";
    ASSERT_TRUE(WriteBytes(Saved("岚影抓图_1.png"), "old"));
    DialogDriver driver({SaveAs(std::nullopt)});
    SaveAfterCapture();
    const std::vector<SeenDialog> seen = driver.Finish();
    ASSERT_EQ(seen.size(), 1u) << Summary(seen);
    EXPECT_EQ(ListFiles(folder_.Path()), std::vector<std::string>{"岚影抓图_1.png"});
    EXPECT_EQ(App().lastSavedPath, "C:\\earlier.png");
    EXPECT_EQ(App().settings.counterText, "1");
}

TEST_F(OutputSaveTest, WithoutAutoSaveEveryCaptureAsksThroughTheDialog) {
    App().settings.autoSave = false;
    App().settings.imageFormat = ImageFormat::Gif;
    SetCounterText("5");
    DialogDriver driver({SaveAs("picked")});
    SaveAfterCapture();
    const std::vector<SeenDialog> seen = driver.Finish();
    ASSERT_EQ(seen.size(), 1u) << Summary(seen);
    EXPECT_EQ(seen[0].fileName, "岚影抓图_5");
    EXPECT_EQ(seen[0].typeIndex, 3) << "the GIF entry";
    EXPECT_EQ(ReadBytes(Saved("picked.gif")).value_or("").substr(0, 4), "GIF8");
    EXPECT_EQ(App().settings.counterText, "6");
}

TEST_F(OutputSaveTest, NothingHappensWhenSavingRightAfterCaptureIsOff) {
    App().settings.saveImmediately = false;
    SaveQuietly();
    EXPECT_TRUE(ListFiles(folder_.Path()).empty());
    EXPECT_EQ(App().settings.counterText, "1");
    EXPECT_TRUE(App().lastSavedPath.empty());
}

TEST_F(OutputSaveTest, AllPartsOffGiveTheTimestampName) {
    App().settings.usePrefix = false;
    App().settings.useAutoNumber = false;
    OnAutoNumberClicked();
    SYSTEMTIME t{};
    GetLocalTime(&t);
    SaveQuietly();
    const std::vector<std::string> files = ListFiles(folder_.Path());
    ASSERT_EQ(files.size(), 1u);
    const std::string date = std::to_string(t.wYear) + "年" + std::to_string(t.wMonth) + "月" + std::to_string(t.wDay) + "日";
    EXPECT_EQ(files[0].rfind(date, 0), 0u) << files[0];
    EXPECT_EQ(files[0].substr(files[0].size() - 4), ".png");
    EXPECT_EQ(App().lastSavedPath, Saved(files[0]));
}

TEST_F(OutputSaveTest, FolderWithTrailingBackslashGetsNoSecondOne) {
    App().settings.autoSaveFolder = folder_.Path() + "\\";
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, folder_.Path() + "\\岚影抓图_1.png");
}

// ---- The Save dialog ----

TEST_F(OutputSaveTest, SaveButtonBeforeAnyCaptureSaysSo) {
    ClearCapture();
    DialogDriver driver({Box(kErrorTitle)});
    SaveCaptureAs();
    const std::vector<SeenDialog> seen = driver.Finish();
    ASSERT_EQ(seen.size(), 1u) << Summary(seen);
    EXPECT_EQ(seen[0].text, "您还没抓图！");
    EXPECT_EQ(seen[0].icon, SeenDialog::Icon::Error);
    EXPECT_TRUE(seen[0].hasOk && !seen[0].hasYes);
    EXPECT_TRUE(ListFiles(folder_.Path()).empty());
}

TEST_F(OutputSaveTest, DialogExtensionDecidesTheFormatWithoutRegardToCase) {
    struct Case {
        const char* typed;
        std::optional<int> type;
        const char* file;
        const char* magic;  // the file's first bytes
    } cases[] = {
        {"shot.JPG", std::nullopt, "shot.JPG", "\xFF\xD8\xFF"},
        {"shot.Gif", std::nullopt, "shot.Gif", "GIF8"},
        {"shot.bmp", std::nullopt, "shot.bmp", "BM"},
        // Not one of the four: saved in the selected type, whose extension is added.
        {"shot.foo", std::nullopt, "shot.foo.png", "\x89PNG"},
        {"other", 2, "other.bmp", "BM"},
    };
    int counter = 1;
    for (const Case& c : cases) {
        DialogDriver driver({c.type ? SaveAs(c.typed, *c.type) : SaveAs(c.typed)});
        SaveCaptureAs();
        const std::vector<SeenDialog> seen = driver.Finish();
        ASSERT_EQ(seen.size(), 1u) << Summary(seen) << c.typed;
        const std::string bytes = ReadBytes(Saved(c.file)).value_or("");
        EXPECT_EQ(bytes.substr(0, std::strlen(c.magic)), c.magic) << c.typed;
        EXPECT_EQ(App().lastSavedPath, Saved(c.file));
        EXPECT_EQ(App().settings.counterText, std::to_string(++counter)) << c.typed;
    }
}

TEST_F(OutputSaveTest, DialogAsksBeforeReplacingAFile) {
    ASSERT_TRUE(WriteBytes(Saved("taken.png"), "old"));
    ASSERT_TRUE(WriteBytes(Saved("taken.foo.png"), "old too"));
    struct Case {
        const char* typed;
        int answer;
        const char* file;
        bool replaced;
    } cases[] = {
        {"taken.foo", IDNO, "taken.foo.png", false},  // the name with the added extension is asked about here
        {"taken.foo", IDYES, "taken.foo.png", true},
        {"taken.png", IDYES, "taken.png", true},      // the dialog's own question (OFN_OVERWRITEPROMPT)
    };
    for (const Case& c : cases) {
        const std::string before = App().settings.counterText;
        // The dialog's own question carries the dialog's title; the one about the added extension its own.
        std::vector<DialogStep> steps{SaveAs(c.typed)};
        steps.push_back(Box(std::string(c.typed) == "taken.foo" ? kReplaceTitle : kSaveDialogTitle, c.answer));
        DialogDriver answering(std::move(steps));
        SaveCaptureAs();
        const std::vector<SeenDialog> seen = answering.Finish();
        ASSERT_EQ(seen.size(), 2u) << Summary(seen) << c.typed;
        EXPECT_TRUE(seen[1].expected && seen[1].hasYes) << c.typed;
        if (seen[1].caption == kReplaceTitle) {
            EXPECT_EQ(seen[1].text, Saved(c.file) + " 已存在。\r\n要替换它吗？");
        }
        const std::string bytes = ReadBytes(Saved(c.file)).value_or("");
        EXPECT_EQ(bytes.substr(1, 3) == "PNG", c.replaced) << c.typed;
        EXPECT_EQ(App().settings.counterText == before, !c.replaced) << c.typed;
    }
}

// ---- Each format ----

// Copies a written file for the Linux-side check (tests/win/output_support.sh check) when a folder is named.
void KeepSample(const std::string& path, const std::string& leaf) {
    const char* folder = std::getenv("LANYING_OUTPUT_SAMPLES_FOLDER");
    if (folder && *folder) CopyFileA(path.c_str(), (std::string(folder) + "\\" + leaf).c_str(), FALSE);
}

struct PngInfo {
    std::uint32_t width = 0, height = 0;
    int depth = 0, colourType = -1, interlace = -1;
};

PngInfo PngHeader(const std::string& png) {
    PngInfo info;
    if (png.size() < 33 || png.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0 || png.compare(12, 4, "IHDR") != 0) return info;
    info.width = Be32(png, 16);
    info.height = Be32(png, 20);
    info.depth = std::uint8_t(png[24]);
    info.colourType = std::uint8_t(png[25]);
    info.interlace = std::uint8_t(png[28]);
    return info;
}

// libpng's own reading of the file as RGB rows, top row first.
std::vector<std::uint8_t> PngPixels(const std::string& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    return pixels;
}

std::vector<std::uint8_t> CaptureRgb() {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const ColorRef c = CaptureColour(x, y);
            rgb.insert(rgb.end(), {RedOf(c), GreenOf(c), BlueOf(c)});
        }
    return rgb;
}

TEST_F(OutputSaveTest, PngIsInterlacedRgbWithTheCapturedPixels) {
    SaveQuietly();
    const std::string png = ReadBytes(Saved("岚影抓图_1.png")).value_or("");
    const PngInfo info = PngHeader(png);
    EXPECT_EQ(info.width, std::uint32_t(kWidth));
    EXPECT_EQ(info.height, std::uint32_t(kHeight));
    EXPECT_EQ(info.depth, 8);
    EXPECT_EQ(info.colourType, 2) << "RGB";
    EXPECT_EQ(info.interlace, 1) << "Adam7";
    EXPECT_EQ(PngPixels(png), CaptureRgb());
    KeepSample(Saved("岚影抓图_1.png"), "capture.png");
}

// The reference: the working file encoded with exactly these JPEG values.
std::string ReferenceJpeg(const std::string& folder, int quality, bool optimise, int smoothing) {
    const std::string path = folder + "\\reference.jpg";
    EXPECT_EQ(ConvertToJpeg(TempCapturePath().c_str(), path.c_str(), false, quality, optimise, smoothing),
              ConvertResult::ConvertOk);
    const std::string bytes = ReadBytes(path).value_or("");
    DeleteFileA(path.c_str());
    return bytes;
}

TEST_F(OutputSaveTest, JpegFollowsTheJpegOptionsOnlyOnTheAutomaticPath) {
    ScratchFolder reference("jpegref");
    App().settings.jpegQuality = 40;
    App().settings.jpegOptimize = false;
    App().settings.jpegSmoothing = 30;
    OnFormatClicked(ImageFormat::Jpg);
    SaveQuietly();
    const std::string automatic = ReadBytes(Saved("岚影抓图_1.jpg")).value_or("");
    ASSERT_FALSE(automatic.empty());
    EXPECT_EQ(automatic, ReferenceJpeg(reference.Path(), 40, false, 30));

    DialogDriver driver({SaveAs("dialog.jpg")});
    SaveCaptureAs();
    const std::vector<SeenDialog> seen = driver.Finish();
    ASSERT_EQ(seen.size(), 1u) << Summary(seen);
    const std::string dialog = ReadBytes(Saved("dialog.jpg")).value_or("");
    EXPECT_EQ(dialog, ReferenceJpeg(reference.Path(), 40, true, 0)) << "optimised and unsmoothed";
    KeepSample(Saved("岚影抓图_1.jpg"), "automatic.jpg");
    KeepSample(Saved("dialog.jpg"), "dialog.jpg");

    // The three values each change the bytes, so the comparisons above pin all three.
    const std::string base = ReferenceJpeg(reference.Path(), 40, false, 30);
    EXPECT_NE(base, ReferenceJpeg(reference.Path(), 41, false, 30));
    EXPECT_NE(base, ReferenceJpeg(reference.Path(), 40, true, 30));
    EXPECT_NE(base, ReferenceJpeg(reference.Path(), 40, false, 0));
}

std::uint8_t IndexAt(const std::string& bmp, int bits, int x, int y) {
    const std::uint32_t offset = Le32(bmp, 10);
    const std::int32_t height = std::int32_t(Le32(bmp, 22));
    const std::size_t stride = (std::size_t(Le32(bmp, 18)) * bits + 31) / 32 * 4;
    const std::size_t row = offset + std::size_t(height - 1 - y) * stride;
    if (bits == 8) return std::uint8_t(bmp[row + x]);
    const std::uint8_t pair = std::uint8_t(bmp[row + x / 2]);
    return x % 2 == 0 ? pair >> 4 : pair & 15;
}

std::vector<std::uint32_t> FixedPalette8() {
    static const std::uint32_t low[10] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080,
                                          0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0};
    static const std::uint32_t high[10] = {0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00,
                                           0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    std::vector<std::uint32_t> rgb(256);
    for (int n = 0; n < 256; ++n) {
        if (n < 10) rgb[n] = low[n];
        else if (n >= 246) rgb[n] = high[n - 246];
        else rgb[n] = std::uint32_t((n % 8) * 32) << 16 | std::uint32_t((n / 8 % 8) * 32) << 8 | std::uint32_t(n / 64 * 64);
    }
    return rgb;
}

// The colour table of a BMP file as 0xRRGGBB values.
std::vector<std::uint32_t> PaletteOf(const std::string& bmp, int count) {
    std::vector<std::uint32_t> rgb;
    for (int i = 0; i < count; ++i) {
        const std::size_t at = 54 + 4 * std::size_t(i);
        rgb.push_back(std::uint32_t(std::uint8_t(bmp[at + 2])) << 16 | std::uint32_t(std::uint8_t(bmp[at + 1])) << 8 |
                      std::uint8_t(bmp[at]));
    }
    return rgb;
}

TEST_F(OutputSaveTest, BmpAtEachDepth) {
    const std::vector<std::uint32_t> palette4 = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                                 0x008080, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    struct Case {
        int depthIndex;
        int bits;
        std::uint32_t offBits;
        std::vector<std::uint32_t> palette;
        std::vector<int> topRow;  // index (palette depths) or 5-5-5 word (16 bits) of red, green, blue, white, black, orange
    } cases[] = {
        {1, 16, 54, {}, {0x7C00, 0x03E0, 0x001F, 0x7FFF, 0x0000, 0x7E00}},
        {2, 8, 1078, FixedPalette8(), {249, 250, 252, 255, 0}},
        {3, 4, 118, palette4, {9, 10, 12, 15, 0}},
    };
    OnFormatClicked(ImageFormat::Bmp);
    SaveQuietly();
    EXPECT_EQ(ReadBytes(App().lastSavedPath), Str(capture_)) << "24 bits: the capture byte for byte";
    for (const Case& c : cases) {
        App().settings.bmpDepthIndex = c.depthIndex;
        SaveQuietly();
        const std::string bmp = ReadBytes(App().lastSavedPath).value_or("");
        KeepSample(App().lastSavedPath, "depth" + std::to_string(c.bits) + ".bmp");
        ASSERT_GE(bmp.size(), 54u) << c.bits;
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        EXPECT_EQ(Le32(bmp, 2), bmp.size());
        EXPECT_EQ(Le16(bmp, 28), c.bits);
        EXPECT_EQ(Le32(bmp, 18), std::uint32_t(kWidth));
        EXPECT_EQ(Le32(bmp, 22), std::uint32_t(kHeight));
        EXPECT_EQ(Le32(bmp, 10), c.offBits);
        const std::size_t stride = (std::size_t(kWidth) * c.bits + 31) / 32 * 4;
        EXPECT_EQ(bmp.size(), c.offBits + stride * kHeight);
        EXPECT_EQ(PaletteOf(bmp, int(c.palette.size())), c.palette) << c.bits;
        for (std::size_t x = 0; x < c.topRow.size(); ++x) {
            const int got = c.bits == 16 ? Le16(bmp, c.offBits + std::size_t(kHeight - 1) * stride + 2 * x)
                                         : IndexAt(bmp, c.bits, int(x), 0);
            EXPECT_EQ(got, c.topRow[x]) << c.bits << " bits, pixel " << x;
        }
    }
    EXPECT_EQ(App().settings.counterText, "5");
}

struct GifSize {
    int width = 0, height = 0;
};

int ReadGifBytes(GifFileType* gif, GifByteType* out, int length) {
    auto* rest = static_cast<std::string*>(gif->UserData);
    const int n = std::min(length, int(rest->size()));
    std::memcpy(out, rest->data(), std::size_t(n));
    rest->erase(0, std::size_t(n));
    return n;
}

GifSize DecodeGif(std::string gif) {
    GifSize size;
    int error = 0;
    GifFileType* file = DGifOpen(&gif, ReadGifBytes, &error);
    if (!file) return size;
    if (DGifSlurp(file) == GIF_OK && file->ImageCount >= 1) {
        size.width = file->SavedImages[0].ImageDesc.Width;
        size.height = file->SavedImages[0].ImageDesc.Height;
    }
    DGifCloseFile(file, &error);
    return size;
}

TEST_F(OutputSaveTest, GifDecodesToTheCaptureSize) {
    OnFormatClicked(ImageFormat::Gif);
    SaveQuietly();
    const GifSize size = DecodeGif(ReadBytes(Saved("岚影抓图_1.gif")).value_or(""));
    KeepSample(Saved("岚影抓图_1.gif"), "capture.gif");
    EXPECT_EQ(size.width, kWidth);
    EXPECT_EQ(size.height, kHeight);
}

// ---- Faults ----

// Every file of `folder` with its bytes.
std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& leaf : ListFiles(folder)) files.emplace_back(leaf, ReadBytes(folder + "\\" + leaf).value_or("<unreadable>"));
    return files;
}

// Saves once in each of `formats` and expects the failure box each time, with nothing in `folder` changed and
// the saved path and the counter kept. (JPG and PNG are written by the converter, BMP and GIF here.)
void ExpectSavesFail(const std::string& folder, const std::string& expectedTarget,
                     std::initializer_list<ImageFormat> formats = {ImageFormat::Png, ImageFormat::Jpg,
                                                                   ImageFormat::Bmp, ImageFormat::Gif}) {
    const auto before = Snapshot(folder);
    const ImageFormat formatBefore = App().settings.imageFormat;
    for (const ImageFormat format : formats) {
        App().settings.imageFormat = format;
        RefreshFileName();
        App().lastSavedPath = "C:\\earlier.png";
        const std::string counter = App().settings.counterText;
        DialogDriver driver({Box(kErrorTitle)});
        SaveAfterCapture();
        const std::vector<SeenDialog> seen = driver.Finish();
        const std::string target = expectedTarget + std::string(FileExtension(format));
        ASSERT_EQ(seen.size(), 1u) << Summary(seen) << target;
        EXPECT_TRUE(seen[0].expected && seen[0].hasOk) << target;
        EXPECT_EQ(seen[0].icon, SeenDialog::Icon::Error);
        EXPECT_NE(seen[0].text.find(target), std::string::npos) << seen[0].text;
        EXPECT_EQ(Snapshot(folder), before) << target << ": a file was left behind or changed";
        EXPECT_EQ(App().lastSavedPath, "C:\\earlier.png");
        EXPECT_EQ(App().settings.counterText, counter);
    }
    App().settings.imageFormat = formatBefore;
    RefreshFileName();
}

TEST_F(OutputSaveTest, NamesTheFileSystemRefusesGiveTheErrorBox) {
    ASSERT_TRUE(WriteBytes(Saved("keep.png"), "untouched"));
    struct Case {
        const char* prefix;
        std::initializer_list<ImageFormat> formats;
    } cases[] = {
        {"a*b", {ImageFormat::Png, ImageFormat::Jpg, ImageFormat::Bmp, ImageFormat::Gif}},
        {"a?b", {ImageFormat::Png, ImageFormat::Bmp}},
        {"a|b", {ImageFormat::Jpg, ImageFormat::Gif}},
    };
    for (const Case& c : cases) {
        App().settings.prefix = c.prefix;
        OnPrefixEditChanged();
        ExpectSavesFail(folder_.Path(), Saved(std::string(c.prefix) + "_1"), c.formats);
    }
    App().settings.prefix = "fixed";
    OnPrefixEditChanged();
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, Saved("fixed_1.png"));
    EXPECT_EQ(App().settings.counterText, "2");
}

TEST_F(OutputSaveTest, FolderWhoseParentIsMissingGivesTheErrorBox) {
    const std::string missing = folder_.File("gone") + "\\deeper";
    App().settings.autoSaveFolder = missing;
    ExpectSavesFail(folder_.Path(), missing + "\\岚影抓图_1");
    CreateDirectoryA(folder_.File("gone").c_str(), nullptr);
    CreateDirectoryA(missing.c_str(), nullptr);
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, missing + "\\岚影抓图_1.png");
    EXPECT_EQ(App().settings.counterText, "2");
}

// Folders that need a mount made outside Wine (tests/win/output_support.sh): a read-only file system holding
// "岚影抓图.png", and a tiny one that the test fills up.
std::optional<std::string> MountedFolder(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || !*value || GetFileAttributesA(value) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return std::string(value);
}

TEST_F(OutputSaveTest, ReadOnlyFolderGivesTheErrorBoxAndKeepsTheExistingFile) {
    const std::optional<std::string> readOnly = MountedFolder("LANYING_TEST_READONLY_FOLDER");
    if (!readOnly) GTEST_SKIP() << "no read-only mount (run tests/win/output_support.sh mount)";
    ASSERT_TRUE(ReadBytes(*readOnly + "\\岚影抓图.png").has_value()) << "the mount holds no existing file";
    App().settings.autoSaveFolder = *readOnly;
    App().settings.useAutoNumber = false;
    OnAutoNumberClicked();
    App().settings.existingFilePolicy = ExistingFilePolicy::Overwrite;
    ExpectSavesFail(*readOnly, *readOnly + "\\岚影抓图");
    // Repaired by choosing a folder that takes files.
    App().settings.autoSaveFolder = folder_.Path();
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, Saved("岚影抓图.png"));
}

TEST_F(OutputSaveTest, FullDiskGivesTheErrorBoxAndKeepsTheExistingFile) {
    const std::optional<std::string> small = MountedFolder("LANYING_TEST_SMALL_DISK_FOLDER");
    if (!small) GTEST_SKIP() << "no small mount (run tests/win/output_support.sh mount)";
    const std::string folder = *small + "\\full-" + std::to_string(GetCurrentProcessId());
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    // A picture far larger than the space a filled disk has left.
    SetCapture(Bmp24(300, 200, [](int x, int y) { return MakeColorRef(std::uint8_t(x * 7 ^ y * 13), std::uint8_t(x * y), std::uint8_t(y * 3)); }));
    ASSERT_TRUE(WriteBytes(folder + "\\岚影抓图.png", "the picture saved yesterday"));
    App().settings.autoSaveFolder = folder;
    App().settings.useAutoNumber = false;
    OnAutoNumberClicked();
    App().settings.existingFilePolicy = ExistingFilePolicy::Overwrite;

    // Fill the disk in ever smaller pieces until not even 512 bytes fit.
    const std::string filler = folder + "\\filler";
    {
        UniqueFile file(CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        for (DWORD chunk = 1 << 20; chunk >= 512; chunk /= 2) {
            const std::string block(chunk, 'x');
            DWORD written = 0;
            while (WriteFile(file.get(), block.data(), chunk, &written, nullptr) && written == chunk) {}
        }
    }
    const auto filled = Snapshot(folder);
    ExpectSavesFail(folder, folder + "\\岚影抓图");
    EXPECT_EQ(Snapshot(folder), filled);
    // Repaired by making room.
    DeleteFileA(filler.c_str());
    SaveQuietly();
    EXPECT_EQ(App().lastSavedPath, folder + "\\岚影抓图.png");
    EXPECT_EQ(ReadBytes(folder + "\\岚影抓图.png").value_or("").substr(1, 3), "PNG");
    RemoveTree(folder);
}

TEST_F(OutputSaveTest, EmptyCaptureIsAFailureNotAnEmptyFile) {
    // A capture that CDIB cannot read yields no BMP bytes at 8 bits and no GIF: neither may leave a 0-byte file.
    const std::string broken = "BM not a bitmap";
    App().lastCaptureImage.assign(broken.begin(), broken.end());
    App().settings.bmpDepthIndex = 2;
    for (const ImageFormat format : {ImageFormat::Bmp, ImageFormat::Gif}) {
        App().settings.imageFormat = format;
        RefreshFileName();
        DialogDriver driver({Box(kErrorTitle)});
        SaveAfterCapture();
        const std::vector<SeenDialog> seen = driver.Finish();
        EXPECT_EQ(seen.size(), 1u) << Summary(seen);
    }
    EXPECT_TRUE(ListFiles(folder_.Path()).empty());
    EXPECT_EQ(App().settings.counterText, "1");
}

}  // namespace
