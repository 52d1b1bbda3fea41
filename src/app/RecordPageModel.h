#pragma once

#include <string>

namespace sextara {

class AppCore;

// What the recording page shows and does, without the widgets. The dot phase
// lives as long as the program (the page may be left and re-entered while a
// recording runs); the duration comes from the recorder itself, so it goes on
// from the first start.
class RecordPageModel {
public:
    enum class StartResult {
        Started,           // kFileCreated
        AlreadyRecording,  // nothing changes
        Failed,            // kFileCreateFailed
    };

    RecordPageModel(AppCore& core, int& dotPhase);

    StartResult Start(const std::string& folder, const std::string& name);
    // Does nothing while idle.
    void Stop();
    // Once a second while recording: the size, duration and status texts. A
    // recording that a write error or the GPS port's closing ended shows as
    // stopped, with the reason.
    void Tick();

    bool Recording() const { return recording_; }
    // The size line is for raw data only.
    bool ShowSize() const;
    const std::string& Status() const { return status_; }
    const std::string& Duration() const { return duration_; }
    const std::string& Size() const { return size_; }
    // After a failed Start: why the file name was refused, in the effective
    // language, for a message box; empty when the name was not at fault.
    const std::string& Notice() const { return notice_; }

private:
    AppCore& core_;
    int& dotPhase_;
    bool recording_ = false;
    std::string status_;
    std::string duration_;
    std::string size_;
    std::string notice_;
};

}  // namespace sextara
