#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "corrections/SourceTable.h"
#include "platform/LogFunction.h"

namespace sextara::corrections {

// The caster's source table as the link keeps it: the whole reply (as in
// "SourceTable.dat", up to kSourceTableBytes), its STR records, and whether
// the last update was cut short. Thread-safe: the update job stores, the
// pages read.
class SourceTableCache {
public:
    // Reads "SourceTable.dat" from the data folder and parses it; false (and
    // "Not Find SourceTable File!" in the log) when there is none.
    bool LoadFile(const platform::LogFunction& log);
    // A fresh reply: kept, written to the file (the write skipped when the
    // file cannot be made), parsed. cutNote says why it is not whole, or is
    // empty.
    void Store(std::string raw, std::string cutNote);
    std::size_t Parse();
    void Clear();

    std::vector<SourceTableEntry> Entries() const;
    std::string Raw() const;
    std::size_t RawLength() const;
    // Why the table last fetched is not whole ("no end after 30 s"), or empty.
    std::string CutNote() const;

private:
    mutable std::mutex lock_;
    std::string raw_;
    std::vector<SourceTableEntry> entries_;
    std::string cutNote_;
};

}  // namespace sextara::corrections
