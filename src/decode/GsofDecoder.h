#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/GnssDecoder.h"

namespace sextara {

// Decoder of the binary packets of makes enTrimble, enDA_Vo and enDorir_Iv:
// STX-framed packets whose GENOUT type carries GSOF records, split over pages
// when long. Cuts packets out of the stream, checks their checksums, joins the
// pages of one transmission and writes records 1, 2, 9, 12 and 34 into the
// state. The receiver's differential source is not set through this make.
class GsofDecoder : public GnssDecoder {
public:
    // Packet: STX, status, type, length (1 byte), data <= 255, checksum, ETX.
    static constexpr std::size_t kHeaderBytes = 4;
    static constexpr std::size_t kMaxPacketBytes = kHeaderBytes + 255 + 1 + 1;
    // The decoding thread hands over at most 2048 bytes at a time; the buffer
    // holds three such chunks. Longer Input calls are cut to this size.
    static constexpr std::size_t kPieceBytes = 2048;
    static constexpr std::size_t kAccumulationBytes = 6144;
    // The pages of one transmission are joined here (about forty full pages);
    // a longer transmission is dropped.
    static constexpr std::size_t kAssemblyBytes = 10240;

    explicit GsofDecoder(GnssState* state) : GnssDecoder(state) {}

    std::int32_t Input(const std::uint8_t* bytes, std::uint32_t count) override;

private:
    void InputPiece(const std::uint8_t* bytes, std::size_t count);
    void MakeRoomFor(std::size_t count);
    void HandlePage(const std::uint8_t* data, std::size_t length);
    void AbandonTransmission();
    void DecodeRecords();

    std::uint8_t accumulation_[kAccumulationBytes];
    std::size_t fill_ = 0;
    // Positions before this one are settled (no packet starts there); the next
    // Input resumes the scan here instead of rescanning held garbage.
    std::size_t scanFrom_ = 0;
    // The last packet ended with its checksum at the end of the held bytes: its
    // ETX slot is the next byte to arrive and is skipped then.
    bool etxSlotPending_ = false;

    std::uint8_t assembly_[kAssemblyBytes];
    std::size_t assemblyFill_ = 0;
    bool assembling_ = false;  // a first page arrived and its last one not yet
    std::uint8_t transmission_ = 0;
    std::uint8_t highestPage_ = 0;
    std::uint8_t nextPage_ = 0;
};

}  // namespace sextara
