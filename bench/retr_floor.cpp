// The least a POP3 server can do for a RETR of a stored message, for pop3_dovecot_bench.py
// to measure the servers against: one client at a time on 127.0.0.1:PORT, each command
// waited for and read as the POP3 service does it; "RETR n" sends the n-th file of FOLDER
// (in name order), looked at, opened and read, with its "+OK" line and the end line in one
// send. Every other line gets "+OK", QUIT ends the session. No path rules, no dot-stuffing,
// no accounts: what is left is the system calls and the client.
//
//     bench_retr_floor PORT FOLDER
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

int Listen(int port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("bench_retr_floor");
        std::exit(1);
    }
    return listener;
}

bool Send(int client, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// The reply to "RETR n" in `reply`; an unknown number gets "-ERR".
void Retrieve(const std::vector<std::string>& files, std::string_view number, std::string& reply) {
    const long n = std::strtol(std::string(number).c_str(), nullptr, 10);
    struct stat status;
    if (n < 1 || n > static_cast<long>(files.size()) ||
        ::stat(files[n - 1].c_str(), &status) != 0) {
        reply = "-ERR no such message\r\n";
        return;
    }
    const int file = ::open(files[n - 1].c_str(), O_RDONLY | O_CLOEXEC);
    reply = "+OK " + std::to_string(status.st_size) + " octets\r\n";
    const std::size_t head = reply.size();
    reply.resize(head + static_cast<std::size_t>(status.st_size));
    const ssize_t got = file < 0 ? 0 : ::read(file, reply.data() + head, reply.size() - head);
    reply.resize(head + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    reply += reply.ends_with("\r\n") ? ".\r\n" : "\r\n.\r\n";
    if (file >= 0) ::close(file);
}

void Serve(int client, const std::vector<std::string>& files) {
    if (!Send(client, "+OK floor ready\r\n")) return;
    std::string pending, reply;
    char buffer[1024];
    for (;;) {
        std::size_t end;
        while ((end = pending.find("\r\n")) == std::string::npos) {
            pollfd ready{client, POLLIN, 0};
            ::poll(&ready, 1, 600000);
            const ssize_t got = ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0) return;
            pending.append(buffer, static_cast<std::size_t>(got));
        }
        const std::string_view line = std::string_view(pending).substr(0, end);
        const bool quit = line == "QUIT";
        if (line.starts_with("RETR ")) {
            Retrieve(files, line.substr(5), reply);
        } else {
            reply = "+OK\r\n";
        }
        pending.erase(0, end + 2);
        if (!Send(client, reply) || quit) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_retr_floor PORT FOLDER\n");
        return 2;
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[2])) {
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    const int listener = Listen(std::atoi(argv[1]));
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        // As the suite's sockets: each reply goes out whole in one send, never held back.
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Serve(client, files);
        ::close(client);
    }
}
