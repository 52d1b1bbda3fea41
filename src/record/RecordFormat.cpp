#include "record/RecordFormat.h"

#include <cinttypes>
#include <cstdio>

#include "decode/ReceiverType.h"

namespace sextara {
namespace {

struct IntervalChoice {
    const char* label;
    int code;
};

constexpr IntervalChoice kIntervals[kIntervalChoices] = {
    {"1s", 3}, {"2s", 4}, {"5s", 5}, {"10s", 6}, {"15s", 12}, {"30s", 7}, {"60s", 8}, {"300s", 9},
};

bool RecordsRt27(int make) {
    return make == enTrimble || make == enTrimbleNMEA || make == enDA_Vo || make == enDorir_Iv;
}

}  // namespace

std::string RecordFilePath(int mode, int make, const std::string& folder, const std::string& name,
                           const platform::UtcTime& start) {
    char digits[16];
    std::string path = folder + "/" + name;
    if (mode == kRecordNormal) {
        std::snprintf(digits, sizeof digits, "_%02d%02d%02d.dat", start.hour % 100, start.minute % 100,
                      start.second % 100);
    } else {
        std::snprintf(digits, sizeof digits, "%02d%02d%s", start.hour % 100, start.minute % 100,
                      RecordsRt27(make) ? ".rt27" : ".dat");
    }
    path += digits;
    if (path.size() > kMaxRecordPath) return {};
    return path;
}

RecordNameFault CheckRecordName(std::string_view name) {
    if (name.empty()) return RecordNameFault::Empty;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return RecordNameFault::ControlCharacter;
    }
    if (name.find('/') != std::string_view::npos) return RecordNameFault::Slash;
    if (name.find('\\') != std::string_view::npos) return RecordNameFault::Backslash;
    if (name.find("..") != std::string_view::npos) return RecordNameFault::ParentReference;
    return RecordNameFault::None;
}

std::string RecordNameFaultText(RecordNameFault fault, bool english) {
    switch (fault) {
        case RecordNameFault::None:
            break;
        case RecordNameFault::Empty:
            return english ? "the file name is empty" : "文件名为空";
        case RecordNameFault::Slash:
            return english ? "the file name contains \"/\"" : "文件名不能包含“/”";
        case RecordNameFault::Backslash:
            return english ? "the file name contains \"\\\"" : "文件名不能包含“\\”";
        case RecordNameFault::ParentReference:
            return english ? "the file name contains \"..\"" : "文件名不能包含“..”";
        case RecordNameFault::ControlCharacter:
            return english ? "the file name contains a control character" : "文件名不能包含控制字符";
    }
    return {};
}

int IntervalCodeOf(int index) {
    return index >= 0 && index < kIntervalChoices ? kIntervals[index].code : kIntervals[0].code;
}

int IntervalIndexOf(int code) {
    for (int i = 0; i < kIntervalChoices; ++i) {
        if (kIntervals[i].code == code) return i;
    }
    return 0;
}

const char* IntervalLabelOf(int index) {
    return index >= 0 && index < kIntervalChoices ? kIntervals[index].label : "";
}

int ClampCutoff(int degrees) { return degrees >= 0 && degrees <= 90 ? degrees : 10; }

std::string RecordSizeText(std::uint64_t bytes) {
    char text[48];
    if (bytes < 1025) {
        std::snprintf(text, sizeof text, "  %" PRIu64 " B", bytes);
    } else if (bytes < 1048576) {
        std::snprintf(text, sizeof text, "  %.2f KB", static_cast<double>(bytes) * 0.0009765625);
    } else {
        std::snprintf(text, sizeof text, "  %.3f MB", static_cast<double>(bytes) * 9.5367431640625e-7);
    }
    return text;
}

std::string RecordDurationText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[40];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, seconds % 3600 / 60,
                  seconds % 60);
    return text;
}

std::string RecordStatusText(const std::string& text, int& phase) {
    if (phase < 0 || phase > 5) phase = 0;
    const std::string shown = text + std::string(static_cast<std::size_t>(phase), '.');
    phase = phase == 5 ? 0 : phase + 1;
    return shown;
}

}  // namespace sextara
