// The LAN transport's reading of the info answer on the info connection: whatever the device
// sends before it closes, exactly 76 bytes are taken and decoded when that many came, nothing
// is read behind them, and a shorter answer leaves the result untouched.
//
// Input: the bytes the device sends.
#include "device/ByteOrder.h"
#include "device/lan/I2CLANControl.h"
#include "device/lan/LanSocket.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sys/socket.h>
#include <vector>

using namespace qrb::device;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // More than the answer and its tail is of no interest, and stays below the socket buffer.
    size = std::min<size_t>(size, 4096);
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
    lan::TFd mine(ends[0]), device(ends[1]);
    if (size > 0 && ::send(device.Get(), data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
        std::abort();
    ::shutdown(device.Get(), SHUT_WR);

    TInfoAnswer answer;
    answer.HolderIP = {1, 2, 3, 4};
    answer.Series = -7;
    answer.Serial = -8;
    const bool ok = ReceiveInfoAnswer(mine.Get(), lan::TDeadline(1000), answer);
    if (ok != (size >= TInfoAnswer::Size)) std::abort();
    if (ok) {
        if (!std::equal(answer.HolderIP.begin(), answer.HolderIP.end(), data + TInfoAnswer::oHolderIP) ||
            answer.Series != GetI32(data + TInfoAnswer::oSeries) ||
            answer.Serial != GetI32(data + TInfoAnswer::oSerial))
            std::abort();
        // What follows the answer is still in the connection.
        std::vector<uint8_t> rest(size + 1);
        const size_t left = lan::ReceiveUpTo(mine.Get(), rest.data(), rest.size(), lan::TDeadline(1000));
        if (left != size - TInfoAnswer::Size) std::abort();
    } else if (!answer.HolderIs(1, 2, 3, 4) || answer.Series != -7 || answer.Serial != -8) {
        std::abort();
    }
    return 0;
}
