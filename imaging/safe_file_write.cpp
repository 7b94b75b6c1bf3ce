#include "imaging/safe_file_write.h"

namespace {

// Encoders write in small pieces (libjpeg 4 KiB, libpng one zlib buffer at a time); a larger stdio
// buffer turns those into few system calls.
constexpr std::size_t kWriteBufferBytes = 256 * 1024;

}  // namespace

FILE* AtomicFileWriter::Open(const std::string& target) {
    Discard();
    if (target.empty()) return nullptr;
    std::string tempPath;
    FILE* file = safe_file_detail::CreateTempBeside(target, tempPath);
    if (file == nullptr) return nullptr;
    // A failed setvbuf only costs speed.
    std::setvbuf(file, nullptr, _IOFBF, kWriteBufferBytes);
    file_ = file;
    tempPath_ = std::move(tempPath);
    target_ = target;
    return file_;
}

bool AtomicFileWriter::Commit() {
    if (file_ == nullptr) return false;
    // Buffered data may only now meet a full disk: fflush and fclose must both report success.
    bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok) ok = safe_file_detail::ReplaceWith(tempPath_, target_);
    if (!ok) safe_file_detail::Remove(tempPath_);
    tempPath_.clear();
    target_.clear();
    return ok;
}

void AtomicFileWriter::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        safe_file_detail::Remove(tempPath_);
        tempPath_.clear();
    }
    target_.clear();
}
