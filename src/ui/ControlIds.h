#pragma once

// The controls of each dialog by the id the old program's dialog gave it. A
// control carries its id as object name, so tests and scripts find it by the
// same number on every front end. Ids are per dialog: the same number names
// different controls in two dialogs.

namespace sextara::ui {

enum class StartupControl : int {
    Make = 1044,
    Port = 1045,
    Baud = 1046,
    Detect = 1047,
    Ok = 1048,
    Scan = 1049,
    Cancel = 1050,
    Status = 1056,
    MakeLabel = 1070,
    PortLabel = 1071,
    BaudLabel = 1072,
};

enum class PortConsoleControl : int {
    Port = 1000,
    Baud = 1001,
    OpenClose = 1002,
    Received = 1003,
    Send = 1004,
    Clear = 1005,
    Show = 1006,
    CannedCommands = 1007,
    Command = 1008,
    PortLabel = 1076,
    BaudLabel = 1077,
    ReceivedLabel = 1078,
};

enum class RecordPageControl : int {
    Folder = 1061,
    FileName = 1062,
    Browse = 1063,
    Duration = 1064,
    Size = 1065,
    Status = 1066,
    FileGroup = 1086,
    FolderLabel = 1087,
    FileNameLabel = 1088,
    StateGroup = 1089,
    DurationLabel = 1090,
    StatusLabel = 1091,
    SizeLabel = 1092,
};

enum class RecordOptionsControl : int {
    Interval = 1131,
    IntervalLabel = 1133,
    CutoffLabel = 1134,
    DataType = 1135,
    DataTypeLabel = 1136,
    RawGroup = 1137,
    Cutoff = 1138,
};

enum class FolderBrowserControl : int {
    Tree = 1068,
};

enum class AdvancedPageControl : int {
    Sbas = 1052,
    ApplyDiffMode = 1053,
    ExternalSource = 1054,
    Restore = 1055,
    ApplyLanguage = 1056,
    ClockSync = 1058,
    Status = 1059,
    DiffModeGroup = 1069,
    English = 1092,
    Chinese = 1093,
    Forwarding = 1149,
};

enum class BatteryWarningControl : int {
    Text = 1060,
};

enum class AboutControl : int {
    Build = 202,
    Version = 1139,
};

// The NTRIP and TCP client page.
enum class NtripPageControl : int {
    MountPointList = 1010,
    Address = 1011,
    Progress = 1012,
    Settings = 1013,
    ByteCounter = 1014,
    StatusBox = 1041,
    Information = 1043,
    AddressLabel = 1073,
    MountPointLabel = 1074,
    ReceivedLabel = 1075,
};

enum class CasterSettingsControl : int {
    Address = 1015,
    User = 1016,
    Password = 1017,
    Port = 1018,
    Latitude = 1020,
    ReceiverGga = 1021,
    TypedGga = 1022,
    Longitude = 1023,
    NorthSouth = 1024,
    EastWest = 1025,
    ServerGroup = 1079,
    AddressLabel = 1080,
    UserLabel = 1081,
    PasswordLabel = 1082,
    GgaGroup = 1083,
    LatitudeLabel = 1084,
    LongitudeLabel = 1085,
    PortLabel = 1086,
};

enum class PortClientControl : int {
    PortLabel = 1116,
    Port = 1117,
    Baud = 1118,
    OpenClose = 1119,
    BaudLabel = 1120,
    Progress = 1123,
    ReceivedCount = 1124,
};

}  // namespace sextara::ui
