#include "corrections/SourceTableCache.h"

#include <algorithm>
#include <cstdio>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace sextara::corrections {

bool SourceTableCache::LoadFile(const platform::LogFunction& log) {
    Clear();
    std::string raw;
    // A longer file was not written by us; its first kSourceTableBytes are read.
    std::FILE* file = std::fopen(platform::DataPath(kSourceTableFileName).c_str(), "rb");
    if (file == nullptr) {
        if (log) log("Not Find SourceTable File!");
        return false;
    }
    char buffer[64 * 1024];
    while (raw.size() < kSourceTableBytes) {
        const std::size_t got = std::fread(buffer, 1, std::min(sizeof buffer, kSourceTableBytes - raw.size()), file);
        if (got == 0) break;
        raw.append(buffer, got);
    }
    std::fclose(file);
    {
        std::lock_guard<std::mutex> hold(lock_);
        raw_ = std::move(raw);
    }
    Parse();
    return true;
}

void SourceTableCache::Store(std::string raw, std::string cutNote) {
    platform::WriteFileAtomically(platform::DataPath(kSourceTableFileName), raw);
    {
        std::lock_guard<std::mutex> hold(lock_);
        raw_ = std::move(raw);
        cutNote_ = std::move(cutNote);
    }
    Parse();
}

std::size_t SourceTableCache::Parse() {
    std::lock_guard<std::mutex> hold(lock_);
    return ParseSourceTable(raw_, entries_);
}

void SourceTableCache::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    raw_.clear();
    cutNote_.clear();
}

std::vector<SourceTableEntry> SourceTableCache::Entries() const {
    std::lock_guard<std::mutex> hold(lock_);
    return entries_;
}

std::string SourceTableCache::Raw() const {
    std::lock_guard<std::mutex> hold(lock_);
    return raw_;
}

std::size_t SourceTableCache::RawLength() const {
    std::lock_guard<std::mutex> hold(lock_);
    return raw_.size();
}

std::string SourceTableCache::CutNote() const {
    std::lock_guard<std::mutex> hold(lock_);
    return cutNote_;
}

}  // namespace sextara::corrections
