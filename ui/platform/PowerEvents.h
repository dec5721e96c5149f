#pragma once
// Power events: logind's PrepareForSleep signal on the system bus, with a "sleep" delay
// inhibitor held while the program runs, mapped onto the platform's power codes. Without
// logind nothing happens. Deliver is the public entry through which tests hand in codes.

#include <QObject>
#include <QtDBus/QDBusUnixFileDescriptor>

#include <functional>
#include <memory>

namespace qrb::ui {

// The power message codes the main window answers.
inline constexpr int kPowerQuerySuspend = 0;
inline constexpr int kPowerQueryStandby = 1;
inline constexpr int kPowerSuspend = 4;
inline constexpr int kPowerStandby = 5;
inline constexpr int kPowerResumeCritical = 6;
inline constexpr int kPowerResumeSuspend = 7;
inline constexpr int kPowerResumeStandby = 8;
inline constexpr int kPowerStatusChange = 10;
inline constexpr int kPowerResumeAutomatic = 18;

class TPowerEvents : public QObject {
    Q_OBJECT
public:
    explicit TPowerEvents(QObject* parent = nullptr);
    ~TPowerEvents() override;

    // Receives each code and answers the message result.
    std::function<int(int code)> OnPowerEvent;

    // Subscribes to logind and takes the inhibitor; false (and nothing done) without logind.
    bool Connect();
    bool Connected() const { return connected_; }
    bool HoldsInhibitor() const { return inhibitor_ != nullptr; }
    // Lets the system go to sleep (after the suspend was handled).
    void ReleaseInhibitor();
    void TakeInhibitor();

    // Hands a power code to OnPowerEvent and returns its result (0 without a handler).
    int Deliver(int code);

private slots:
    void PrepareForSleep(bool start);

private:
    bool connected_ = false;
    std::unique_ptr<QDBusUnixFileDescriptor> inhibitor_;
};

} // namespace qrb::ui
