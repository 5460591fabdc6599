// A mailbox folder C:\Mail\bob on a fresh machine, filled with message files by the test,
// and a loopback connection whose server end carries the session's stream.
#pragma once

#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "loopback.h"
#include "service/message_list.h"
#include "service/my_server_thread.h"
#include "test_machine.h"

namespace vrel::test {

class MailboxTest : public MachineTest {
  protected:
    static constexpr const char* kFolder = "C:\\Mail\\bob";

    std::filesystem::path Host(const std::string& name) const {
        return machine_.DriveC() / "Mail" / "bob" / name;
    }
    void Store(const std::string& name, const std::string& content) {
        std::filesystem::create_directories(Host("").parent_path());
        std::ofstream(Host(name), std::ios::binary) << content;
    }
    void Build() { TMyServerThread::GetMessages(kFolder, list_, octets_); }

    // Runs a routine on the session's stream and returns what the client received.
    std::string Call(const std::function<void(win::TWinSocketStream&)>& routine) {
        static const std::string kMarker = "<end of call>\r\n";
        std::thread server([&] {
            routine(stream_);
            stream_.Write(kMarker);
        });
        std::string received;
        while (received.size() < kMarker.size() ||
               received.compare(received.size() - kMarker.size(), kMarker.size(), kMarker)) {
            const std::string line = pair_.client.ReadLine();
            if (line.empty()) break;
            received += line;
        }
        server.join();
        return received.substr(0, received.size() - std::min(received.size(), kMarker.size()));
    }

    LoopbackPair pair_ = ConnectLoopback();
    win::TWinSocketStream stream_{*pair_.server, 600000};
    MessageList list_;
    std::int64_t octets_ = 0;
};

}  // namespace vrel::test
