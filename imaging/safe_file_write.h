#pragma once
// Writing a file so that a failure never costs the user the file that was there before.
//
// AtomicFileWriter hands out a fresh temporary file in the target's own folder (same volume, so the final
// move is a rename) and moves it over the target only when Commit() finds that every byte reached the
// disk. Any other outcome, including destruction without Commit(), deletes the temporary file and leaves
// the target exactly as it was (or absent). On Windows the temporary file is hidden while it exists;
// the committed target is not.
//
//     AtomicFileWriter writer;
//     FILE* file = writer.Open(target);
//     if (file == nullptr || !WriteEverything(file)) return false;  // the destructor cleans up
//     return writer.Commit();
//
// Paths are narrow strings in the system's ANSI code page (GBK on the target desktop).
#include <cstdint>
#include <cstdio>
#include <string>

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter() { Discard(); }
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file for `target` and returns it open for binary writing, or nullptr when
    // the folder does not take it. The writer keeps ownership of the FILE: do not fclose it. Discards
    // whatever an earlier Open() left uncommitted.
    FILE* Open(const std::string& target);

    // Flushes and closes the temporary file and moves it over the target. False, with the temporary
    // file deleted and the target untouched, when any write, the close or the move failed.
    bool Commit();

    // Closes and deletes the temporary file; the target is not touched. Safe to call at any time.
    void Discard();

    // The temporary file's name while one is open.
    const std::string& TempPath() const { return tempPath_; }

private:
    std::string target_;
    std::string tempPath_;
    FILE* file_ = nullptr;
};

// True when something (file or folder) exists under this name.
bool FileExists(const std::string& path);

// stdio positioning with 64-bit offsets (long is 32 bits on Windows). 0 on success, like fseek.
int SeekFile(FILE* file, std::int64_t offset, int origin);
// The current position, or -1.
std::int64_t TellFile(FILE* file);

// Platform halves behind AtomicFileWriter.
namespace safe_file_detail {
// Creates a new, empty file in target's folder under a name nobody uses and opens it "wb".
FILE* CreateTempBeside(const std::string& target, std::string& tempPath);
// Moves temp over target, replacing an existing target in one step.
bool ReplaceWith(const std::string& tempPath, const std::string& target);
bool Remove(const std::string& path);
}  // namespace safe_file_detail
