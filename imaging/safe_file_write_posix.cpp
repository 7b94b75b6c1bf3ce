// Linux half of the safe-write helpers: O_EXCL creation and rename(2).
#include "imaging/safe_file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

// Tries per Open(); a collision needs another writer picking the same pid and counter.
constexpr int kNameAttempts = 100;

std::atomic<unsigned> nameCounter{0};

}  // namespace

bool FileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

int SeekFile(FILE* file, std::int64_t offset, int origin) { return ::fseeko(file, off_t(offset), origin); }

std::int64_t TellFile(FILE* file) { return std::int64_t(::ftello(file)); }

namespace safe_file_detail {

FILE* CreateTempBeside(const std::string& target, std::string& tempPath) {
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char leaf[64];
        std::snprintf(leaf, sizeof leaf, ".lanying-%ld-%u.tmp", long(::getpid()), nameCounter.fetch_add(1));
        std::string candidate = folder + leaf;
        // 0666 less the umask: the committed file gets the permissions a plain fopen would give it.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        FILE* file = ::fdopen(fd, "wb");
        if (file == nullptr) {
            ::close(fd);
            ::unlink(candidate.c_str());
            return nullptr;
        }
        tempPath = std::move(candidate);
        return file;
    }
    return nullptr;
}

bool ReplaceWith(const std::string& tempPath, const std::string& target) {
    return ::rename(tempPath.c_str(), target.c_str()) == 0;
}

bool Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace safe_file_detail
