#pragma once

namespace sextara::platform {

// The string-table ids by name. The numbers are the keys of the program's own
// table (StringTable.cpp) and of the language library (langres), so they
// never change; code names them as StringId::kNotice. Ids from 201 on are
// texts this program added to both tables. Unscoped, so that an id still
// passes where the table's int is taken.
namespace string_ids {
enum StringId : int {
    kProgramName = 1,
    kProgramNameCaps = 2,
    kStartupTitle = 3,
    kReceiverBoard = 4,
    kGpsPort = 5,
    kBaudRate = 6,
    kOk = 7,
    kCancel = 8,
    kAutoDetect = 9,
    kExitQuestion = 10,
    kNotice = 11,  // the caption of the program's message boxes
    kIpAddress = 12,
    kMountPoint = 13,
    kSetup = 14,
    kReceived = 15,
    kServer = 17,
    kIpLabel = 18,
    kPassword = 19,
    kUserName = 20,
    kGgaSource = 21,
    kSendReceiverGga = 22,
    kTypedGga = 23,
    kPort = 24,
    kPortBaudRate = 25,
    kReceive = 26,
    kShow = 27,
    kClear = 28,
    kSend = 29,
    kOpen = 30,
    kClose = 31,
    kFileGroup = 32,
    kFolder = 33,
    kFileName = 34,
    kRecordingGroup = 35,
    kDuration = 36,
    kStatus = 37,
    kDiffMode = 38,
    kExternalSource = 39,
    kSbas = 40,
    kRestoreDefaults = 41,
    kSetSystemTime = 42,
    kSerialInitFailed = 55,
    kNetworkFailed = 59,
    kNoFixYet = 60,
    kSourceTableUpdated = 61,
    kSourceTableFailed = 62,
    kDiffModeSet = 63,
    kClockSet = 65,
    kClockFailed = 66,
    kClockNoFix = 67,
    kGpsReopenFailed = 68,
    kFileCreateFailed = 69,
    kFileCreated = 70,
    kRecordingStopped = 71,
    kRecordingRunning = 72,
    kPortOpenFailed = 73,
    kDetectPortOpened = 75,  // port number, configured rate
    kDetectRateFailed = 76,  // configured rate
    kDetectScanning = 77,    // rate being tried
    kDetectRateFound = 78,   // rate found
    kDetectNoRate = 79,
    kResetting = 80,
    kResetFailed = 81,
    kResetDone = 82,
    kDataPortRate = 83,
    kDataPortRateDone = 84,
    kCommandPortRate = 85,
    kAboutBoard = 86,  // board, build date
    kRestoreQuestion = 87,
    kLanguageNextStart = 90,
    kStopTcpFirst = 91,
    kStopNtripFirst = 92,
    kBatteryLow = 93,
    kDataType = 94,
    kRawDataGroup = 95,
    kInterval = 96,
    kCutoffAngle = 97,
    kRawDataChoice = 98,
    kNormalData = 99,
    kDataSize = 100,
    kStart = 201,
    kStop = 202,
    kReturn = 203,
    kBack = 204,
    kCorrectionsBox = 205,
    kCaFileHint = 206,
    kSendCurrentPosition = 207,
};
}  // namespace string_ids

using string_ids::StringId;

}  // namespace sextara::platform
