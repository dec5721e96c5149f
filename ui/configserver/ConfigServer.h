#pragma once
// The configuration server: a line server on 127.0.0.1 for other programs on this computer,
// at most two connections (a further client is closed at once). Everything runs on the main
// thread: each request goes through the scan gate's request path, so while device work runs
// it waits and is answered when it may; one request per connection is answered at a time, in
// order, and the next line is taken only after the reply was handed on for sending. A client
// that ends its sending side gives up its place but still gets the replies to the lines it sent
// before; one that resets is dropped, also while its request waits. A place is free from the
// client's end on, also when the server has not read up to that end yet.

#include "ui/configserver/ConfigRequest.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace qrb::ui {

class TConfigListener;

class TConfigServer : public QObject {
    Q_OBJECT
public:
    // Runs work now when requests may run, else when they may (the scan gate's RunRequest);
    // unset: at once.
    using TRunWhenOpen = std::function<void(std::function<void()>)>;

    static constexpr int kMaxConnections = 2;
    // Connections whose client has ended or that are closing, beyond the places; the oldest is
    // dropped beyond this.
    static constexpr int kMaxEnding = 8;
    // Unsent reply bytes beyond which a connection takes no further request until the client
    // has read them.
    static constexpr int64_t kMaxPendingReply = 1 << 20;
    // A closing connection whose client neither reads nor ends is dropped after this.
    static constexpr int kCloseGraceMs = 2000;

    // The replies read translator; the report requests run its reports (device requests).
    TConfigServer(model::TI2CTranslator& translator, TRunWhenOpen runWhenOpen, QObject* parent = nullptr);
    ~TConfigServer() override; // stops first

    // The range mode of the replies and (for tests) the report providers.
    TConfigRequestHandler& Handler() { return handler_; }

    // Listens on 127.0.0.1:port (0: a free port, for tests) with address reuse. False with the
    // listener's error text when it cannot.
    bool Start(uint16_t port = kConfigServerPort, QString* error = nullptr);
    // Closes the listener and every connection at once; waiting requests are dropped.
    void Stop();

    bool IsActive() const;
    uint16_t ServerPort() const; // the port listened on, 0 when inactive
    int ConnectionCount() const { return static_cast<int>(connections_.size()); }
    int EndingCount() const { return static_cast<int>(ending_.size() + closing_.size()); }
    // Reply bytes of the open connections not yet taken by the kernel.
    int64_t PendingReplyBytes() const;

private:
    struct TConnection;
    using TConnectionPtr = std::shared_ptr<TConnection>;

    void Accept(intptr_t descriptor);
    void Readable(const TConnectionPtr& c);
    void Ended(const TConnectionPtr& c);
    // Moves the connections whose client has ended or reset to the ending ones.
    void FindEnded();
    void BoundEnding();
    void Pump(const TConnectionPtr& c);
    void PostPump(const TConnectionPtr& c);
    void Answer(const TConnectionPtr& c, const std::string& line);
    void Flush(const TConnectionPtr& c);
    void Close(const TConnectionPtr& c);
    void Linger(const TConnectionPtr& c);
    void Destroy(const TConnectionPtr& c);

    TConfigRequestHandler handler_;
    TRunWhenOpen runWhenOpen_;
    TConfigListener* listener_;
    std::map<int, TConnectionPtr> connections_; // by descriptor; each counts against the limit
    std::map<int, TConnectionPtr> ending_;      // the client has ended; its lines are answered
    std::map<int, TConnectionPtr> closing_;     // sending their last replies, then closed
    uint64_t serial_ = 0;
};

} // namespace qrb::ui
