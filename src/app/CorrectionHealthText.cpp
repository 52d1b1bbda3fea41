#include "app/CorrectionHealthText.h"

#include <cstdio>

namespace sextara {

std::string FormatHealthBox(const corrections::LinkHealth& health, int language) {
    const bool english = language != 0;
    const corrections::HealthSnapshot& s = health.stream;
    if (s.bytes == 0) return english ? "No corrections yet" : "尚未收到差分数据";
    char line[160];
    std::string text;
    if (s.ageSeconds) {
        std::snprintf(line, sizeof line, english ? "Age %.1f s  " : "龄期 %.1f s  ", *s.ageSeconds);
        text += line;
    } else {
        text += english ? "Age -  " : "龄期 -  ";
    }
    std::snprintf(line, sizeof line, english ? "Rate %.2f KB/s  CRC errors %llu" : "速率 %.2f KB/s  CRC错误 %llu",
                  s.bytesPerSecond / 1024.0, static_cast<unsigned long long>(s.crcErrors));
    text += line;
    text += '\n';
    if (s.types.empty()) text += english ? "No RTCM 3 frames" : "无RTCM 3报文";
    bool first = true;
    for (const auto& [type, count] : s.types) {
        std::snprintf(line, sizeof line, "%s%d:%llu", first ? "" : " ", type, static_cast<unsigned long long>(count));
        text += line;
        first = false;
    }
    text += '\n';
    if (!s.base) return text + (english ? "Base: no 1005/1006 yet" : "基准站: 尚无1005/1006");
    std::snprintf(line, sizeof line, english ? "Base %d: %.5f %.5f %.1f m" : "基准站 %d: %.5f %.5f %.1f m",
                  s.base->stationId, s.base->latDeg, s.base->lonDeg, s.base->heightM);
    text += line;
    if (health.baselineKm) {
        std::snprintf(line, sizeof line, "  %.1f km", *health.baselineKm);
        text += line;
    }
    return text;
}

}  // namespace sextara
