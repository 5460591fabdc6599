#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "loopback.h"
#include "platform/clock.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using vrel::test::ConnectLoopback;

std::string ReadText(win::TWinSocketStream& stream) {
    char buffer[64];
    return std::string(buffer, stream.Read(buffer, sizeof buffer));
}

TEST(SocketStreamTest, ReadReturnsWhatArrived) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    pair.client.Send("USER bob\r\n");
    EXPECT_TRUE(stream.WaitForData(600000));
    EXPECT_EQ(ReadText(stream), "USER bob\r\n");
}

TEST(SocketStreamTest, SilenceEndsReadAndWaitAfterTheirTimeOut) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 200);

    auto start = steady_clock::now();
    EXPECT_FALSE(stream.WaitForData(200));
    EXPECT_GE(steady_clock::now() - start, win::ScaledWait(200));

    start = steady_clock::now();
    EXPECT_EQ(ReadText(stream), "");
    EXPECT_GE(steady_clock::now() - start, win::ScaledWait(200));
    EXPECT_TRUE(pair.server->Connected());
}

TEST(SocketStreamTest, PeerCloseReadsAsZeroBytes) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    pair.client.Send("NOOP\r\n");
    pair.client.Close();
    EXPECT_EQ(ReadText(stream), "NOOP\r\n");
    EXPECT_TRUE(stream.WaitForData(600000));
    EXPECT_EQ(ReadText(stream), "");
}

TEST(SocketStreamTest, ResetConnectionRaisesSocketError) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    pair.client.Send("QUIT\r\n");
    pair.client.Reset();
    char buffer[64];
    EXPECT_THROW(while (stream.Read(buffer, sizeof buffer) > 0){}, win::ESocketError);
}

TEST(SocketStreamTest, WriteSendsEveryByte) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    const std::string message(8 * 1024 * 1024, 'x');
    std::string received;
    std::thread reader([&] { received = pair.client.ReadUntilClose(); });
    EXPECT_EQ(stream.Write(message), message.size());
    pair.server->Close();
    reader.join();
    EXPECT_EQ(received.size(), message.size());
}

TEST(SocketStreamTest, WriteToAPeerThatTakesNothingFailsAfterTheTimeOut) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 200);
    const std::string flood(64 * 1024 * 1024, 'x');
    EXPECT_THROW(stream.Write(flood), win::ESocketError);
}

TEST(SocketStreamTest, WriteAfterThePeerLeftFailsWithoutSignal) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    pair.client.Close();
    EXPECT_THROW(
        for (int i = 0; i < 100; ++i) {
            stream.Write("+OK\r\n");
            std::this_thread::sleep_for(1ms);
        },
        win::ESocketError);
}

TEST(SocketStreamTest, CloseFromAnotherThreadEndsABlockedRead) {
    auto pair = ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    std::thread closer([&] {
        std::this_thread::sleep_for(50ms);
        pair.server->Close();
    });
    const auto start = steady_clock::now();
    EXPECT_EQ(ReadText(stream), "");
    EXPECT_LT(steady_clock::now() - start, 5s);
    EXPECT_FALSE(pair.server->Connected());
    closer.join();
    EXPECT_TRUE(pair.client.WaitForClose());
}

TEST(SocketStreamTest, RemoteAddressIsDottedAndHostNamesAreKnown) {
    auto pair = ConnectLoopback();
    EXPECT_EQ(pair.server->RemoteAddress(), "127.0.0.1");
    EXPECT_FALSE(pair.server->RemoteHost().empty());
    EXPECT_FALSE(win::gethostname().empty());
}

}  // namespace
