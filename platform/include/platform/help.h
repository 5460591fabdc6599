// Help: the application's help file, help requests by context number and by topic name, and
// the help file's topics.
//
// The help file is a text file of our own format: a topic starts with a line
// "@topic NAME CONTEXT" (CONTEXT a decimal number, 0 for a topic reached only by name),
// followed by its body up to the next "@topic" line or the end of the file. Lines before the
// first topic are ignored. Names compare without case.
//
// Requests go to the installed viewer (vcl::InstallHelp installs one); tests record them
// instead with a HelpRecorder. Without either, a request is not shown anywhere and gives
// true.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win {

// Application.HelpFile: a Windows path.
void SetHelpFile(std::string_view windowsPath);
std::string HelpFile();

struct HelpRequest {
    std::string file;   // the help file at the time of the request
    int context = 0;    // HelpContext requests
    std::string topic;  // HelpJump requests
};

// Application.HelpContext and Application.HelpJump.
bool HelpContext(int context);
bool HelpJump(std::string_view topic);

// What the viewer installs: shows the request; false when it could not.
using HelpPresenter = std::function<bool(const HelpRequest&)>;
void SetHelpPresenter(HelpPresenter presenter);

// For tests: while it lives, requests are recorded and not shown; one at a time.
class HelpRecorder {
  public:
    HelpRecorder();
    HelpRecorder(const HelpRecorder&) = delete;
    HelpRecorder& operator=(const HelpRecorder&) = delete;
    ~HelpRecorder();
    const std::vector<HelpRequest>& Requests() const { return requests_; }

  private:
    friend bool Request(const HelpRequest& request);
    std::vector<HelpRequest> requests_;
};

struct HelpTopic {
    std::string name;
    int context = 0;
    std::string body;
};

// The topics of a help file; nothing when the file cannot be read.
std::optional<std::vector<HelpTopic>> ReadHelpFile(std::string_view windowsPath);
// The topic a request asks for: by context when it has one, else by name.
const HelpTopic* FindHelpTopic(const std::vector<HelpTopic>& topics, const HelpRequest& request);

}  // namespace win
