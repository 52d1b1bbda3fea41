#include "app/RecordPageModel.h"

#include "app/AppCore.h"
#include "platform/StringIds.h"
#include "record/RecordFormat.h"

namespace sextara {

using platform::StringId;

RecordPageModel::RecordPageModel(AppCore& core, int& dotPhase) : core_(core), dotPhase_(dotPhase) {
    recording_ = core_.Context().recorder.IsRecording();
    if (recording_) Tick();
}

RecordPageModel::StartResult RecordPageModel::Start(const std::string& folder, const std::string& name) {
    AppContext& app = core_.Context();
    if (app.recorder.IsRecording()) return StartResult::AlreadyRecording;
    notice_.clear();
    if (!core_.StartRecording(folder, name)) {
        status_ = app.strings.String(StringId::kFileCreateFailed);
        if (const RecordNameFault fault = CheckRecordName(name); fault != RecordNameFault::None) {
            notice_ = RecordNameFaultText(fault, app.config.effectiveLanguage != 0);
        }
        return StartResult::Failed;
    }
    recording_ = true;
    duration_ = RecordDurationText(0);
    size_ = RecordSizeText(0);
    status_ = app.strings.String(StringId::kFileCreated);
    return StartResult::Started;
}

void RecordPageModel::Stop() {
    if (!recording_ && !core_.Context().recorder.IsRecording()) return;
    core_.StopRecording();
    recording_ = false;
    status_ = core_.Context().strings.String(StringId::kRecordingStopped);
    // A file deleted since the last tick is found at the close.
    if (core_.Context().recorder.FileGone()) status_ += ": " + core_.Context().recorder.LastEnd();
}

void RecordPageModel::Tick() {
    AppContext& app = core_.Context();
    RawRecorder& recorder = app.recorder;
    // Takes down a recording that ended by itself before it is shown.
    recorder.Poll();
    app.recording = recorder.IsRecording() ? 1 : 0;
    size_ = RecordSizeText(recorder.ByteCount());
    duration_ = RecordDurationText(recorder.Seconds());
    if (!recorder.IsRecording()) {
        if (recording_) {
            recording_ = false;
            status_ = app.strings.String(StringId::kRecordingStopped);
            if (recorder.EndedByFault()) status_ += ": " + recorder.LastEnd();
        }
        return;
    }
    recording_ = true;
    status_ = RecordStatusText(app.strings.String(StringId::kRecordingRunning), dotPhase_);
}

bool RecordPageModel::ShowSize() const { return core_.Context().registry.recordDataType == kRecordRaw; }

}  // namespace sextara
