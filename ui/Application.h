#pragma once
// The application object: no exception crosses the event loop. One that reaches it from an
// event handler is shown in the application's error box, and the loop goes on.

#include <QApplication>

#include <functional>

namespace qrb::ui {

class TOndrixApplication : public QApplication {
    Q_OBJECT
public:
    TOndrixApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The first step of the program: SIGTERM, SIGINT and SIGHUP are noted instead of ending it.
void CatchTerminationSignals();
// Runs onSignal on the main thread for every noted signal, also for one noted before the call.
void WatchTerminationSignals(QObject* owner, std::function<void()> onSignal);

// Makes the images of the program's resource file available (also for tests).
void InitResources();

// Where Debian's metric-compatible Tahoma lies (package fonts-wine).
inline constexpr const char* kTahomaFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                               "/usr/share/wine/fonts/tahomabd.ttf"};
// Adds the Tahoma files that exist to the application's font database (the channel list's x
// positions were made for its widths); the number added. Without them the substitutes serve.
int RegisterTahoma();

// The formatter's regional forms from the user's locale (the C locale keeps the defaults).
void ApplyUserLocale();

} // namespace qrb::ui
