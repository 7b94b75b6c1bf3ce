// Windows half of the safe-write helpers: a hidden CREATE_NEW file and MoveFileExA.
#include "imaging/safe_file_write.h"

#include <windows.h>
#include <shlwapi.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>

namespace {

constexpr int kNameAttempts = 100;

std::atomic<unsigned> nameCounter{0};

// Owns a file HANDLE until it is passed on to the C runtime.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE handle_;
};

}  // namespace

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int SeekFile(FILE* file, std::int64_t offset, int origin) { return _fseeki64(file, offset, origin); }

std::int64_t TellFile(FILE* file) { return _ftelli64(file); }

namespace safe_file_detail {

FILE* CreateTempBeside(const std::string& target, std::string& tempPath) {
    // PathFindFileNameA walks the string by ANSI characters, so a GBK trail byte of 0x5C ('\') inside a
    // folder name is not taken for a separator.
    const char* leafStart = PathFindFileNameA(target.c_str());
    const std::string folder(target.c_str(), leafStart);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char leaf[64];
        wsprintfA(leaf, "~lanying%lx-%x.tmp", GetCurrentProcessId(), nameCounter.fetch_add(1));
        std::string candidate = folder + leaf;
        FileHandle handle(
            CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (handle.Get() == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return nullptr;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_WRONLY | _O_BINARY);
        if (fd == -1) {
            CloseHandle(handle.Release());
            DeleteFileA(candidate.c_str());
            return nullptr;
        }
        handle.Release();  // the descriptor owns it now
        FILE* file = _fdopen(fd, "wb");
        if (file == nullptr) {
            _close(fd);
            DeleteFileA(candidate.c_str());
            return nullptr;
        }
        tempPath = std::move(candidate);
        return file;
    }
    return nullptr;
}

bool ReplaceWith(const std::string& tempPath, const std::string& target) {
    // A read-only target stays, as fopen(target, "wb") would leave it. Windows' MoveFileEx refuses to
    // replace it too, but Wine's does not, so the check is made here.
    const DWORD targetAttributes = GetFileAttributesA(target.c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    // The move keeps the source's attributes; the finished file must not stay hidden.
    SetFileAttributesA(tempPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    return MoveFileExA(tempPath.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool Remove(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

}  // namespace safe_file_detail
