// The converter on Windows: the hidden, memory-mapped CSWCLASS<n>.tmp scratch file, GBK paths, and the
// safe replacement of the target through MoveFileExA. Every test also checks that no scratch file and no
// temporary output file is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/converter.h"
#include "imaging/safe_file_write.h"
#include "tests/little_endian.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

std::string TempFolder() {
    char buffer[MAX_PATH + 1] = {};
    std::string folder(buffer, GetTempPathA(MAX_PATH, buffer));
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

// Names matching `pattern` (wildcards allowed) in `folder`, hidden ones included.
std::vector<std::string> Matching(const std::string& folder, const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + pattern).c_str(), &data));
    if (find.Get() == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    return names;
}

std::vector<std::string> ScratchFiles() { return Matching(TempFolder(), "CSWCLASS*.tmp"); }

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

Bytes ReadBytes(const std::string& path) {
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    std::uint8_t buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

// A bottom-up BMP of width x height at `bits` per pixel (8-bit files get a grey palette), pixel bytes
// from a simple pattern.
Bytes MakeBmp(std::int32_t width, std::int32_t height, int bits) {
    const std::uint32_t palette = bits == 8 ? 256 * 4 : 0;
    const std::uint32_t stride = std::uint32_t((bits * width + 31) / 32 * 4);
    const std::uint32_t offBits = 14 + 40 + palette;
    Bytes file(offBits + stride * std::uint32_t(height), 0);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, std::uint32_t(file.size()));
    Put32(file, 10, offBits);
    Put32(file, 14, 40);
    Put32(file, 18, std::uint32_t(width));
    Put32(file, 22, std::uint32_t(height));
    file[26] = 1;
    file[28] = std::uint8_t(bits);
    for (std::uint32_t i = 0; i < palette / 4; ++i)
        file[54 + 4 * i] = file[55 + 4 * i] = file[56 + 4 * i] = std::uint8_t(i);
    for (std::size_t i = offBits; i < file.size(); ++i) file[i] = std::uint8_t(i * 7);
    return file;
}

class ConverterWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ScratchFiles().empty()) << "a scratch file was left by an earlier run";
        // A GBK folder name: the paths go through the "A" functions and fopen untouched.
        folder_ = TempFolder() + "岚影转换测试\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_NE(GetFileAttributesA(folder_.c_str()), INVALID_FILE_ATTRIBUTES);
        source_ = folder_ + "截图.bmp";
        ASSERT_TRUE(WriteBytes(source_, MakeBmp(64, 48, 24)));
    }
    void TearDown() override {
        for (const std::string& name : Matching(folder_, "*")) {
            const std::string path = folder_ + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        RemoveDirectoryA(folder_.c_str());
        EXPECT_TRUE(ScratchFiles().empty()) << "a scratch file was left behind";
    }

    // Everything in the work folder, sorted.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names = Matching(folder_, "*");
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string folder_;
    std::string source_;
};

TEST_F(ConverterWinTest, ScratchStorageIsAHiddenMappedFileInTheTempFolderUntilReleased) {
    // CSWCLASS0.tmp is taken, so the storage must use the next free number.
    const std::string taken = TempFolder() + "CSWCLASS0.tmp";
    ASSERT_TRUE(WriteBytes(taken, {1}));
    {
        ScratchStorage storage;
        ASSERT_TRUE(storage.Allocate(100000));
        EXPECT_EQ(storage.BackingFile(), TempFolder() + "CSWCLASS1.tmp");
        const DWORD attributes = GetFileAttributesA(storage.BackingFile().c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(storage.BackingFile().c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(data.nFileSizeLow, 100000u);
        EXPECT_EQ(data.nFileSizeHigh, 0u);
        storage.Data()[0] = 1;
        storage.Data()[99999] = 42;  // mapped and writable to the last byte

        // A second image at the same time takes yet another number.
        ScratchStorage second;
        ASSERT_TRUE(second.Allocate(10));
        EXPECT_EQ(second.BackingFile(), TempFolder() + "CSWCLASS2.tmp");

        const std::string first = storage.BackingFile();
        storage.Release();
        EXPECT_EQ(GetFileAttributesA(first.c_str()), INVALID_FILE_ATTRIBUTES) << "deleted on release";
        EXPECT_TRUE(storage.Empty());
    }
    EXPECT_EQ(ScratchFiles(), std::vector<std::string>{"CSWCLASS0.tmp"});
    DeleteFileA(taken.c_str());
}

TEST_F(ConverterWinTest, DecodedImageLivesInTheScratchFile) {
    RasterImage image;
    ASSERT_EQ(DecodeImageFile(source_.c_str(), image), ConvertResult::ConvertOk);
    EXPECT_EQ(image.Width(), 64u);
    EXPECT_EQ(image.Height(), 48u);
    EXPECT_EQ(ScratchFiles(), std::vector<std::string>{"CSWCLASS0.tmp"});
    EXPECT_FALSE(image.Storage().BackingFile().empty());
    image.Release();
    EXPECT_TRUE(ScratchFiles().empty());
}

TEST_F(ConverterWinTest, ConversionsWriteVisibleFilesUnderGbkNamesAndLeaveNothingElse) {
    const std::string jpeg = folder_ + "输出.jpg";
    const std::string png = folder_ + "输出.png";
    ASSERT_EQ(ConvertToJpeg(source_.c_str(), jpeg.c_str(), false, 75, true, 0), ConvertResult::ConvertOk);
    ASSERT_EQ(ConvertToPng(source_.c_str(), png.c_str(), 24), ConvertResult::ConvertOk);

    const Bytes jpegBytes = ReadBytes(jpeg);
    ASSERT_GE(jpegBytes.size(), 4u);
    EXPECT_EQ(jpegBytes[0], 0xFF);
    EXPECT_EQ(jpegBytes[1], 0xD8);
    const Bytes pngBytes = ReadBytes(png);
    ASSERT_GE(pngBytes.size(), 8u);
    EXPECT_EQ(std::memcmp(pngBytes.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    // The output was written hidden under a temporary name; the final file must not stay hidden.
    for (const std::string& path : {jpeg, png}) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
        EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN) << path;
    }
    // Converting again replaces the existing files.
    ASSERT_EQ(ConvertToJpeg(source_.c_str(), jpeg.c_str(), true, 30, false, 50), ConvertResult::ConvertOk);
    EXPECT_NE(ReadBytes(jpeg), jpegBytes);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"截图.bmp", "输出.jpg", "输出.png"}));
}

TEST_F(ConverterWinTest, FailuresLeaveTargetsAndTempFolderAsTheyWere) {
    const std::string eightBit = folder_ + "eight.bmp";
    ASSERT_TRUE(WriteBytes(eightBit, MakeBmp(16, 16, 8)));
    // A PCX header for 64 x 48 RGB with no pixel data after it: the image (and its scratch file) is
    // created before the read fails.
    Bytes pcx(128, 0);
    pcx[0] = 0x0A;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = 63;
    pcx[10] = 47;
    pcx[65] = 3;
    pcx[66] = 64;
    const std::string cutPcx = folder_ + "cut.pcx";
    ASSERT_TRUE(WriteBytes(cutPcx, pcx));
    const std::string locked = folder_ + "locked.jpg";
    const Bytes lockedContent = {'o', 'l', 'd'};
    ASSERT_TRUE(WriteBytes(locked, lockedContent));
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string fresh = folder_ + "fresh.out";
    const std::string noFolder = folder_ + "no-such-folder\\out.jpg";

    struct Case {
        const char* name;
        ConvertResult result;
        ConvertResult expected;
    } cases[] = {
        {"quality 0", ConvertToJpeg(source_.c_str(), fresh.c_str(), false, 0, false, 0), ConvertResult::BadArgument},
        {"smoothing 101", ConvertToJpeg(source_.c_str(), fresh.c_str(), false, 75, false, 101),
         ConvertResult::BadArgument},
        {"png depth 16", ConvertToPng(source_.c_str(), fresh.c_str(), 16), ConvertResult::BadArgument},
        {"missing source", ConvertToPng((folder_ + "none.bmp").c_str(), fresh.c_str(), 24),
         ConvertResult::SourceMissing},
        {"8-bit source", ConvertToJpeg(eightBit.c_str(), fresh.c_str(), false, 75, true, 0),
         ConvertResult::SourceUnreadable},
        {"PCX without pixels", ConvertToPng(cutPcx.c_str(), fresh.c_str(), 24), ConvertResult::SourceUnreadable},
        {"read-only target, jpeg", ConvertToJpeg(source_.c_str(), locked.c_str(), false, 75, true, 0),
         ConvertResult::WriteFailed},
        {"read-only target, png", ConvertToPng(source_.c_str(), locked.c_str(), 24), ConvertResult::WriteFailed},
        {"missing folder", ConvertToJpeg(source_.c_str(), noFolder.c_str(), false, 75, true, 0),
         ConvertResult::WriteFailed},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;

    EXPECT_EQ(ReadBytes(locked), lockedContent);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"cut.pcx", "eight.bmp", "locked.jpg", "截图.bmp"}));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
