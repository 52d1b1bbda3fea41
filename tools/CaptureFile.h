#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace sextara::tools {

// A capture file read in blocks through one buffer that is reused from file
// to file: a capture of any size costs a megabyte of memory, and the kernel
// copies it into memory that is already mapped and in the cache instead of
// into fresh pages it must first clear.
class CaptureFile {
public:
    static constexpr std::size_t kBlock = 1 << 20;
    // The most Take hands out at once: the largest chunk the decode tool feeds.
    static constexpr std::size_t kMaxTake = 2048;

    CaptureFile() : buffer_(kBlock + kMaxTake) {}
    ~CaptureFile() { Close(); }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // Whether a file can be read at all, before anything is printed: false,
    // with errno set, when it is missing, not allowed or a directory (which
    // opens, then fails its first read).
    static bool Readable(const std::string& path) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return false;
        struct stat info {};
        const bool directory = ::fstat(::fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
        std::fclose(file);
        if (directory) errno = EISDIR;
        return !directory;
    }

    // False, with errno set, when the file cannot be opened.
    bool Open(const std::string& path) {
        Close();
        file_ = std::fopen(path.c_str(), "rb");
        begin_ = end_ = 0;
        error_ = file_ == nullptr ? errno : 0;
        return file_ != nullptr;
    }

    // True while bytes remain; reads the next block when the buffer is empty.
    bool More() {
        if (begin_ == end_) Fill();
        return begin_ < end_;
    }

    // Up to `count` (at most kMaxTake) bytes in one piece, fewer only at the
    // end of the file or after a read error; valid until the next call.
    std::span<const std::uint8_t> Take(std::size_t count) {
        count = std::min(count, kMaxTake);
        if (end_ - begin_ < count) Fill();
        const std::size_t n = std::min(count, end_ - begin_);
        const std::span<const std::uint8_t> bytes(buffer_.data() + begin_, n);
        begin_ += n;
        return bytes;
    }

    // The errno of a read that failed, 0 when the file read to its end.
    int Error() const { return error_; }

private:
    // Keeps what is left at the front and fills the buffer behind it.
    void Fill() {
        if (file_ == nullptr) return;
        const std::size_t left = end_ - begin_;
        std::memmove(buffer_.data(), buffer_.data() + begin_, left);
        begin_ = 0;
        end_ = left;
        while (end_ < buffer_.size()) {
            const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
            if (got == 0) break;
            end_ += got;
        }
        if (std::ferror(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    }

    void Close() {
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }

    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::FILE* file_ = nullptr;
    int error_ = 0;
};

}  // namespace sextara::tools
