#pragma once
// One data connection of the LAN transport and its reader thread.
//
// Whoever holds the reading role reads the socket and takes whole messages off the stream:
// between requests the reader thread, which blocks in poll on the socket and a wake event;
// during a request the requesting thread itself, so that its answer needs no hand-off from
// one thread to another (the reader thread, woken by the answer too, parks on the wake event
// until the request ends). Notifications are posted through the owner by either; answers the
// reader thread takes belong to requests that gave up and are dropped. An unknown head, end of
// stream or an error ends the connection: it is shut down and the loss is posted to the owner
// once.

#include "device/Records.h"
#include "device/lan/LanSocket.h"
#include "device/lan/LanStream.h"
#include "device/wire/CommandSet.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qrb::device {

class TI2CLANControl;

class TI2CSocket : public TWireDevice {
public:
    // Connects to host:port within connectMs and starts the reader. Raises
    // std::runtime_error("Cannot connect to " + host) when no connection is made.
    // index and generation go with every notification of this connection.
    TI2CSocket(const std::string& host, const std::string& portText, uint32_t connectMs,
               TI2CLANControl& owner, int32_t index, uint64_t generation);
    // Stop flag, shutdown, join, close.
    ~TI2CSocket() override;
    TI2CSocket(const TI2CSocket&) = delete;
    TI2CSocket& operator=(const TI2CSocket&) = delete;

    // Main thread: sends the request and waits up to answerMs from the send for an answer whose
    // sequence number is not older than the request's (older ones are dropped). False on a
    // failed send, a lost connection or the time-out.
    bool Exchange(const TCommandBlock& request, TCommandBlock& answer, uint32_t answerMs);

    const std::string& Host() const { return host_; }
    const std::string& RemoteHost() const { return remoteHost_; }
    const std::string& RemotePort() const { return remotePort_; }
    int32_t InfoPort() const { return infoPort_; }
    int32_t Index() const { return index_; }
    bool Lost() const;

    // Main thread: the loss of this connection has been reported (by the reader's loss or a
    // failed knock); it is reported once.
    bool LossReported = false;

private:
    enum class TRead {
        Nothing, // no (further) whole message the caller waits for; the socket is empty
        Answer,  // the awaited answer was taken
        Ended,   // the connection ended (end of stream, error or unknown head)
    };

    void ReaderLoop();
    // Holder of the reading role: takes every whole message and what the socket holds now.
    // With answer, the first answer not older than wanted ends the reading (what follows it
    // in the stream stays there); without, answers are dropped.
    TRead ReadAvailable(uint64_t wanted, TCommandBlock* answer);
    // Takes the whole messages the stream holds; the same rules.
    TRead TakeMessages(uint64_t wanted, TCommandBlock* answer);
    // The requesting thread gives the reading role back and lets the reader thread watch again.
    void EndRequest();
    void Lose();

    TI2CLANControl& owner_;
    std::string host_;
    std::string remoteHost_;
    std::string remotePort_;
    int32_t infoPort_ = 0;
    int32_t index_;
    uint64_t generation_;

    lan::TFd fd_;
    lan::TWakeEvent wake_;
    std::atomic<bool> stop_{false};

    TLanStream stream_; // only the holder of the reading role touches it
    TIRQMessage notification_;
    TCommandBlock block_;

    mutable std::mutex mutex_;
    std::condition_variable readerDone_;
    bool requesting_ = false;    // guarded by mutex_: the requesting thread holds the role
    bool readerReading_ = false; // guarded by mutex_: the reader thread holds the role
    bool readerParked_ = false;  // guarded by mutex_: the reader thread watches only wake_
    bool lost_ = false;          // guarded by mutex_

    std::thread reader_; // last: starts once everything above exists
};

} // namespace qrb::device
