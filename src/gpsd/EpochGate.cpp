#include "gpsd/EpochGate.h"

namespace sextara::gpsd {
namespace {

constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;

std::int32_t DateKey(const GnssState& s) { return s.year * 10000 + s.month * 100 + s.day; }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

void AddOneDay(GnssState& s) {
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (s.month < 1 || s.month > 12) return;
    const int length = kMonthDays[s.month - 1] + (s.month == 2 && IsLeapYear(s.year) ? 1 : 0);
    if (++s.day <= length) return;
    s.day = 1;
    if (++s.month <= 12) return;
    s.month = 1;
    ++s.year;
}

}  // namespace

EpochGate::Decision EpochGate::Offer(GnssState& snapshot, std::uint64_t frames, TimePoint now) {
    Decision decision;
    const int timeOfDay = snapshot.hour * kSecondsPerHour + snapshot.minute * kSecondsPerMinute + snapshot.second;
    const bool newEpoch = timeOfDay != lastTimeOfDay_;
    const bool stillTime = !newEpoch && frames > framesAtTpv_ && now - tpvAt_ >= kStillTime;
    CorrectDate(snapshot, newEpoch);
    if (newEpoch || stillTime) {
        framesAtTpv_ = frames;
        tpvAt_ = now;
        if (skyPending_) ++epochsWithoutSky_;
        lastTimeOfDay_ = timeOfDay;
        lastHour_ = snapshot.hour;
        lastDate_ = DateKey(snapshot);
        skyPending_ = true;
        decision.tpv = true;
    }
    if (skyPending_) {
        if (snapshot.gsvInProgress == 0) {
            epochsWithoutSky_ = 0;
            decision.sky = true;
        } else if (epochsWithoutSky_ >= kMaxEpochsWithoutSky) {
            decision.sky = true;
        }
        if (decision.sky) skyPending_ = false;
    }
    return decision;
}

void EpochGate::CorrectDate(GnssState& snapshot, bool newEpoch) {
    const bool stillStale = staleDate_ >= 0 && DateKey(snapshot) == staleDate_;
    if (newEpoch && !stillStale) {
        staleDate_ = lastHour_ == 23 && snapshot.hour == 0 && DateKey(snapshot) == lastDate_ ? lastDate_ : -1;
    }
    if (staleDate_ >= 0 && DateKey(snapshot) == staleDate_) AddOneDay(snapshot);
}

}  // namespace sextara::gpsd
