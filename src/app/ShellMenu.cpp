#include "app/ShellMenu.h"

namespace sextara {
namespace {

constexpr ShellMenuItem kItems[] = {
    {MenuAction::NtripClient, command::kNtripClient, "Ntrip Client", "Ntrip Client", true, true},
    {MenuAction::TcpClient, command::kTcpClient, "TCP Client", "TCP Client", true, true},
    {MenuAction::PortClient, command::kPortClient, "PORT Client", "PORT Client", true, true},
    {MenuAction::PortSetup, command::kPortSetup, "端口设置", "Port Setup", true, false},
    {MenuAction::DataRecord, command::kDataRecord, "数据记录", "Data Record", true, false},
    {MenuAction::AdvancedSetup, command::kAdvancedSetup, "高级设置", "Advanced Setup", true, false},
    {MenuAction::About, command::kAbout, "关于", "About", true, false},
    {MenuAction::Exit, command::kExit, "退出", "Exit", true, false},
};

}  // namespace

std::span<const ShellMenuItem> ShellMenuItems() { return kItems; }

std::string_view SetupButtonText(int effectiveLanguage) { return effectiveLanguage != 0 ? "Setup" : "配置"; }
std::string_view ExitButtonText(int effectiveLanguage) { return effectiveLanguage != 0 ? "Exit" : "退出"; }

std::string_view TextOf(const ShellMenuItem& item, int effectiveLanguage) {
    return effectiveLanguage != 0 ? item.english : item.chinese;
}

int CommandIdOf(const ShellMenuItem& item, int effectiveLanguage) {
    return item.command.For(effectiveLanguage != 0);
}

const ShellMenuItem* FindMenuItem(int commandId) {
    for (const ShellMenuItem& item : kItems) {
        if (item.command.Is(commandId)) return &item;
        if (commandId == kAcceleratorExit && item.action == MenuAction::Exit) return &item;
        if (commandId == kAcceleratorAbout && item.action == MenuAction::About) return &item;
    }
    return nullptr;
}

}  // namespace sextara

namespace sextara {

std::string BuildDateText(std::string_view compilerDate) {
    static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (compilerDate.size() != 11) return std::string(compilerDate);
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (compilerDate.substr(0, 3) == kMonths[i]) month = i + 1;
    }
    const char d1 = compilerDate[4] == ' ' ? '0' : compilerDate[4];
    const char d2 = compilerDate[5];
    if (month == 0 || d2 < '0' || d2 > '9' || d1 < '0' || d1 > '3') return std::string(compilerDate);
    std::string text(compilerDate.substr(7, 4));
    text += '/';
    text += static_cast<char>('0' + month / 10);
    text += static_cast<char>('0' + month % 10);
    text += '/';
    text += d1;
    text += d2;
    return text;
}

}  // namespace sextara
