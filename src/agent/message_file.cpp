#include "agent/message_file.h"

#include <cstdio>

#include "agent/mailbox.h"
#include "common/mail_users.h"
#include "platform/clock.h"
#include "platform/fs.h"

namespace vrel {
namespace {

// What SaveToFile answers when a create-only save finds the name taken (ERROR_FILE_EXISTS).
constexpr win::HRESULT kFileExists = win::HRESULT_FROM_WIN32(80);

// "yymmdd", "hhnn" when asked for, then "sszzz" of the local time.
std::string LocalTimeDigits(bool withHourAndMinute) {
    win::SYSTEMTIME now;
    win::GetLocalTime(now);
    char date[16];
    char clock[16];
    char seconds[16];
    std::snprintf(date, sizeof date, "%02u%02u%02u", now.wYear % 100u, now.wMonth % 100u,
                  now.wDay % 100u);
    std::snprintf(clock, sizeof clock, "%02u%02u", now.wHour % 100u, now.wMinute % 100u);
    std::snprintf(seconds, sizeof seconds, "%02u%03u", now.wSecond % 100u,
                  now.wMilliseconds % 1000u);
    return std::string(date) + (withHourAndMinute ? clock : "") + seconds;
}

}  // namespace

std::string MessageFileStem(int sequence) {
    char number[16];
    std::snprintf(number, sizeof number, "%9.9d", sequence);
    return LocalTimeDigits(true) + number;
}

std::string BadMailFileStem(int sequence) {
    char number[16];
    std::snprintf(number, sizeof number, "%10.10d", sequence);
    return LocalTimeDigits(false) + number;
}

bool StoreMessageFile(const std::string& folder, StemMaker stem, win::Stream& stream) {
    for (int sequence = 1; sequence > 0; ++sequence) {
        // The create-only save is the test for a free name: a file of that name in any letter
        // case makes it answer that the file exists.
        const std::string name = folder + "\\" + stem(sequence) + ".eml";
        const win::HRESULT saved = stream.SaveToFile(name, win::adSaveCreateNotExist);
        if (saved != kFileExists) return win::SUCCEEDED(saved);
    }
    return false;
}

bool CopyToFolder(const std::string& address, std::shared_ptr<win::IMessage> message) {
    const std::string folder = GetUserMailDir(GetUserFromAddress(address));
    if (folder.empty()) return false;
    std::shared_ptr<win::Stream> stream;
    if (win::FAILED(message->GetStream(stream)) || !stream) return false;
    return StoreMessageFile(folder, MessageFileStem, *stream);
}

}  // namespace vrel
