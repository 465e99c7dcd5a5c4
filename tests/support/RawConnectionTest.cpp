#include "tests/support/RawConnection.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace std::chrono_literals;
using mq::test::RawConnection;

namespace {

int listenOn(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TEST(RawConnection, SendsReceivesAndSeesThePeerClose)
{
    mq::test::TempRuntimeDir dir;
    EXPECT_FALSE(RawConnection(dir.file("nobody")).valid());
    int listening = listenOn(dir.file("peer"));
    ASSERT_GE(listening, 0);
    RawConnection connection(dir.file("peer"));
    ASSERT_TRUE(connection.valid());
    int peer = ::accept(listening, nullptr, nullptr);
    ASSERT_GE(peer, 0);

    ASSERT_TRUE(connection.sendAll({ 1, 2, 3 }, 2s));
    std::uint8_t got[3] {};
    ASSERT_EQ(::recv(peer, got, sizeof(got), MSG_WAITALL), 3);
    EXPECT_EQ(got[2], 3);
    EXPECT_TRUE(connection.receiveSome(16, 20ms).empty()) << "nothing was sent";
    ASSERT_EQ(::send(peer, "xy", 2, 0), 2);
    EXPECT_EQ(connection.receiveSome(16, 2s), (std::vector<std::uint8_t> { 'x', 'y' }));
    EXPECT_FALSE(connection.closedByPeer(20ms));
    ::close(peer);
    EXPECT_TRUE(connection.closedByPeer(2s));
    ::close(listening);
}
