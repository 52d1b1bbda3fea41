#include "gpsd/ClientSession.h"

#include <nlohmann/json.hpp>

namespace sextara::gpsd {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool Printable(std::uint8_t c) { return (c >= 0x20 && c <= 0x7E) || c == '\r' || c == '\n' || c == '\t'; }

void AddLine(std::string& lines, const std::string& object) {
    lines += object;
    lines += kLineEnd;
}

// Takes the switches present in `arg` into `policy`; false with `why` when
// one has the wrong type.
bool ApplyWatch(const nlohmann::json& arg, WatchPolicy& policy, std::string& why) {
    struct Switch {
        const char* key;
        bool WatchPolicy::*field;
    };
    static constexpr Switch kSwitches[] = {
        {"enable", &WatchPolicy::enable}, {"json", &WatchPolicy::json},       {"nmea", &WatchPolicy::nmea},
        {"scaled", &WatchPolicy::scaled}, {"timing", &WatchPolicy::timing},   {"split24", &WatchPolicy::split24},
        {"pps", &WatchPolicy::pps},
    };
    WatchPolicy next = policy;
    for (const Switch& s : kSwitches) {
        const auto it = arg.find(s.key);
        if (it == arg.end()) continue;
        if (!it->is_boolean()) {
            why = std::string("\"") + s.key + "\" must be true or false";
            return false;
        }
        next.*s.field = it->get<bool>();
    }
    if (const auto it = arg.find("raw"); it != arg.end()) {
        if (!it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > 2) {
            why = "\"raw\" must be 0, 1 or 2";
            return false;
        }
        next.raw = static_cast<int>(it->get<long long>());
    }
    if (const auto it = arg.find("device"); it != arg.end()) {
        if (!it->is_string()) {
            why = "\"device\" must be a string";
            return false;
        }
        next.device = it->get<std::string>();
    }
    // A watch that names no kind of output gets the reports, which is what
    // a client that only says "enable" expects to read.
    if (next.enable && !next.json && !next.nmea && next.raw == 0) next.json = true;
    policy = next;
    return true;
}

}  // namespace

ClientSession::Answer ClientSession::OnInput(const std::uint8_t* bytes, std::size_t count, const ServerView& view) {
    Answer answer;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t c = bytes[i];
        if (!Printable(c)) {
            answer.drop = true;
            answer.why = "sent bytes that are not text";
            return answer;
        }
        if (c != ';' && c != '\n') {
            if (pending_.size() >= kMaxRequest) {
                answer.drop = true;
                answer.why = "sent a request longer than " + std::to_string(kMaxRequest) + " bytes";
                return answer;
            }
            pending_ += static_cast<char>(c);
            continue;
        }
        const std::string request(Trim(pending_));
        pending_.clear();
        if (request.empty()) continue;  // the ';' or line end after a request
        if (!Handle(request, view, answer.lines)) {
            answer.drop = true;
            answer.why = "sent something that is not a request";
            return answer;
        }
    }
    return answer;
}

bool ClientSession::Handle(std::string_view request, const ServerView& view, std::string& lines) {
    if (request.front() != '?') return false;
    std::size_t end = 1;
    while (end < request.size() && request[end] >= 'A' && request[end] <= 'Z') ++end;
    const std::string_view name = request.substr(1, end - 1);
    const std::string_view rest = request.substr(end);
    if (name.empty() || (!rest.empty() && rest.front() != '=')) return false;
    const std::string_view argument = rest.empty() ? rest : rest.substr(1);
    if (name == "VERSION") {
        AddLine(lines, VersionJson());
    } else if (name == "DEVICES") {
        AddLine(lines, DevicesJson(view.device));
    } else if (name == "WATCH") {
        lines += Watch(argument, view);
    } else if (name == "POLL") {
        AddLine(lines, PollJson(view.lastTime, !view.device.path.empty(), view.lastTpv, view.lastSky));
    } else {
        AddLine(lines, ErrorJson("Unrecognized request '" + std::string(name) + "'"));
    }
    return true;
}

std::string ClientSession::Watch(std::string_view argument, const ServerView& view) {
    std::string lines;
    if (argument.empty()) {
        AddLine(lines, WatchJson(policy_));
        return lines;
    }
    const nlohmann::json arg = nlohmann::json::parse(argument, nullptr, false);
    std::string why = "not a JSON object";
    const bool wasEnabled = policy_.enable;
    if (!arg.is_object() || !ApplyWatch(arg, policy_, why)) {
        AddLine(lines, ErrorJson("Invalid WATCH: " + why));
        return lines;
    }
    // Switching the watch on first tells the client which receiver it gets.
    if (policy_.enable && !wasEnabled) AddLine(lines, DevicesJson(view.device));
    AddLine(lines, WatchJson(policy_));
    return lines;
}

}  // namespace sextara::gpsd
