// Help requests and the help file's topics; see help.h.
#include "platform/help.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "platform/fs.h"
#include "platform/text.h"

namespace win {
namespace {

struct HelpState {
    std::string file;
    HelpPresenter presenter;
    HelpRecorder* recorder = nullptr;
};

HelpState& State() {
    static HelpState state;
    return state;
}

constexpr std::string_view kTopicMark = "@topic ";

// "@topic NAME CONTEXT": the name may hold blanks, the context is the last word.
std::optional<HelpTopic> TopicHeader(const std::string& line) {
    if (!line.starts_with(kTopicMark)) return std::nullopt;
    const std::string rest = Trim(line.substr(kTopicMark.size()));
    const std::size_t blank = rest.find_last_of(' ');
    if (blank == std::string::npos) return std::nullopt;
    char* end = nullptr;
    const long context = std::strtol(rest.c_str() + blank + 1, &end, 10);
    if (*end != '\0') return std::nullopt;
    return HelpTopic{Trim(rest.substr(0, blank)), static_cast<int>(context), {}};
}

}  // namespace

bool Request(const HelpRequest& request) {
    HelpState& state = State();
    if (state.recorder) {
        state.recorder->requests_.push_back(request);
        return true;
    }
    return state.presenter ? state.presenter(request) : true;
}

void SetHelpFile(std::string_view windowsPath) {
    State().file = windowsPath;
}

std::string HelpFile() {
    return State().file;
}

bool HelpContext(int context) {
    return Request(HelpRequest{State().file, context, {}});
}

bool HelpJump(std::string_view topic) {
    return Request(HelpRequest{State().file, 0, std::string(topic)});
}

void SetHelpPresenter(HelpPresenter presenter) {
    State().presenter = std::move(presenter);
}

HelpRecorder::HelpRecorder() {
    if (State().recorder) throw std::logic_error("HelpRecorder: one at a time");
    State().recorder = this;
}

HelpRecorder::~HelpRecorder() {
    State().recorder = nullptr;
}

std::optional<std::vector<HelpTopic>> ReadHelpFile(std::string_view windowsPath) {
    const std::optional<std::string> text = ReadWholeFile(windowsPath);
    if (!text) return std::nullopt;
    std::vector<HelpTopic> topics;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (auto topic = TopicHeader(line)) {
            topics.push_back(std::move(*topic));
        } else if (!topics.empty()) {
            topics.back().body += line + "\n";
        }
    }
    for (HelpTopic& topic : topics) topic.body = Trim(topic.body);
    return topics;
}

const HelpTopic* FindHelpTopic(const std::vector<HelpTopic>& topics, const HelpRequest& request) {
    for (const HelpTopic& topic : topics) {
        if (request.context != 0 ? topic.context == request.context
                                 : SameText(topic.name, request.topic)) {
            return &topic;
        }
    }
    return nullptr;
}

}  // namespace win
