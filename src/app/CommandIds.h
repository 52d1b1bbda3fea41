#pragma once

namespace sextara {

// A command of the window's bars and menus. The Chinese and the English bar
// give the same command different ids; a button carries its id as object
// name, and traces and scripts see the ids, so they never change.
struct BarCommand {
    int chinese;
    int english;

    constexpr int For(bool englishBar) const { return englishBar ? english : chinese; }
    constexpr bool Is(int id) const { return id == chinese || id == english; }
};

namespace command {

// The dialogs' and pages' buttons.
inline constexpr BarCommand kOk{32784, 32843};
inline constexpr BarCommand kCancel{32785, 32865};
inline constexpr BarCommand kReturn{32811, 32862};       // a page's one way back
inline constexpr BarCommand kCorrectionStart{140, 160};  // the NTRIP/TCP page
inline constexpr BarCommand kStop{32807, 32845};
inline constexpr BarCommand kRunningReturn{32809, 32847};  // beside Stop
inline constexpr BarCommand kRecordStart{32880, 32887};
inline constexpr BarCommand kRecordSetup{32883, 32890};
inline constexpr BarCommand kRecordReturn{32884, 32891};

// The soft-key bar's menu items.
inline constexpr BarCommand kNtripClient{32802, 32860};
inline constexpr BarCommand kTcpClient{32868, 32870};
inline constexpr BarCommand kPortClient{32876, 32878};
inline constexpr BarCommand kPortSetup{32779, 32859};
inline constexpr BarCommand kDataRecord{32817, 32858};
inline constexpr BarCommand kAdvancedSetup{32815, 32857};
inline constexpr BarCommand kAbout{32781, 32856};
inline constexpr BarCommand kExit{32786, 32863};

}  // namespace command

// The accelerators' commands, the same on both bars.
inline constexpr int kAcceleratorExit = 40000;
inline constexpr int kAcceleratorAbout = 40002;

}  // namespace sextara
