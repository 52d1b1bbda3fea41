#include "platform/StringTable.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

#include "langres/LangRes.h"
#include "platform/Debug.h"
#include "platform/Paths.h"

namespace sextara::platform {
namespace {

struct Entry {
    int id;
    const char* text;
};

constexpr Entry kOwnTable[] = {
    {1, "Sextara"},
    {2, "SEXTARA"},
    {3, "配置选择"},
    {4, "接收板类型"},
    {5, "GPS端口"},
    {6, "波特率"},
    {7, "确定"},
    {8, "取消"},
    {9, "自动检测"},
    {10, "确认要退出程序?"},
    {11, "提示"},
    {12, "IP地址"},
    {13, "挂载点"},
    {14, "配置"},
    {15, "接收"},
    {17, "服务器配置"},
    {18, "IP:"},
    {19, "密码"},
    {20, "用户名"},
    {21, "GGA配置"},
    {22, "自动发送GGA"},
    {23, "键入GGA"},
    {24, "端口"},
    {25, "波特率"},
    {26, "接收"},
    {27, "显示"},
    {28, "清除"},
    {29, "发送"},
    {30, "打开"},
    {31, "关闭"},
    {32, "文件配置"},
    {33, "路径"},
    {34, "文件名"},
    {35, "记录状态"},
    {36, "时长"},
    {37, "状态"},
    {38, "差分模式"},
    {39, "外部数据源"},
    {40, "SBAS"},
    {41, "恢复GPS默认值"},
    {42, "同步系统时间"},
    {55, "串口初始化失败,请检查端口是否被占用!"},
    {59, "网络连接失败,请检查网络配置!"},
    {60, "还未定位,请稍候尝试!"},
    {61, "更新SourceTable成功!"},
    {62, "更新SourceTable失败!"},
    {63, "设置差分模式成功!"},
    {65, "同步系统时间成功!"},
    {66, "同步系统时间失败!"},
    {67, "还未定位无法获取GPS时间,请稍候再尝试!"},
    {68, "重新打开GPS端口失败!"},
    {69, "创建文件失败!"},
    {70, "创建文件成功!"},
    {71, "停止记录"},
    {72, "正在记录"},
    {73, "打开端口失败,请检查端口是否被占用!"},
    {75, "打开端口%d成功,检测波特率%d"},
    {76, "检测波特率%d失败!"},
    {77, "扫描波特率%d..."},
    {78, "检测波特率%d成功!"},
    {79, "检测波特率失败!"},
    {80, "接收机正在复位,请稍候..."},
    {81, "接收机复位失败!"},
    {82, "接收机复位成功!"},
    {83, "更改COM4波特率为57600..."},
    {84, "COM4波特率更改为57600成功!"},
    {85, "更改端口COM3波特率为57600..."},
    {86, "板卡:%s,编译:%s"},
    {87, "确认要恢复GPS默认值?"},
    {90, "语言切换将在下一次软件重启生效!"},
    {91, "请先停止TCP/IP Client!"},
    {92, "请先停止NTRIP Client!"},
    {93, "电量过低,继续使用会造成系统不稳定"},
    {94, "数据类型:"},
    {95, "原始数据"},
    {96, "记录间隔:"},
    {97, "截止仰角:"},
    {98, "原始数据"},
    {99, "正常数据"},
    {100, "数据大小"},
    // Texts this program added, in both tables.
    {201, "开始"},
    {202, "停止"},
    {203, "返回"},
    {204, "返回"},
    {205, "差分数据"},
    {206, "CA文件 (PEM)"},
    {207, "定位后发送当前位置"},
};

}  // namespace

StringTable::~StringTable() {
    std::lock_guard<std::mutex> guard(lock_);
    UnloadLocked();
}

void StringTable::UnloadLocked() {
    english_ = nullptr;
    if (library_ != nullptr) {
        ::dlclose(library_);
        library_ = nullptr;
    }
}

int StringTable::LoadLanguage(int language, const LogFunction& log) {
    return LoadLanguageFrom(
        language, {ProgramDirectory() + "/" + langres::kLibraryFileName, langres::kLibraryFileName}, log);
}

int StringTable::LoadLanguageFrom(int language, const std::vector<std::string>& libraryPaths,
                                  const LogFunction& log) {
    std::lock_guard<std::mutex> guard(lock_);
    UnloadLocked();
    if (language == 0) {
        return 0;
    }
    for (const std::string& path : libraryPaths) {
        void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            SEXTARA_DEBUG("LangRes: %s\n", ::dlerror());
            continue;
        }
        // A library of that name without the table is not ours.
        void* symbol = ::dlsym(library, langres::kStringSymbol);
        if (symbol == nullptr) {
            ::dlclose(library);
            continue;
        }
        library_ = library;
        english_ = reinterpret_cast<langres::StringFunction>(symbol);
        return 1;
    }
    if (log) {
        log("Load LanguageRes Failed!\n");
    }
    return 0;
}

int StringTable::EffectiveLanguage() const {
    std::lock_guard<std::mutex> guard(lock_);
    return english_ != nullptr ? 1 : 0;
}

std::string StringTable::String(int id) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (english_ != nullptr) {
        const char* text = english_(id);
        return text != nullptr ? text : "";
    }
    return std::string(OwnString(id));
}

std::string StringTable::Format(int id, ...) const {
    const std::string format = String(id);
    std::va_list args;
    va_start(args, id);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format.c_str(), args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format.c_str(), again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

std::string_view StringTable::OwnString(int id) {
    for (const Entry& entry : kOwnTable) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return {};
}

std::vector<int> StringTable::OwnIds() {
    std::vector<int> ids;
    for (const Entry& entry : kOwnTable) {
        ids.push_back(entry.id);
    }
    return ids;
}

}  // namespace sextara::platform
