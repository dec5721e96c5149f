#include "ui/Application.h"

#include "device/Format.h"
#include "ui/dialogs/MessageService.h"
#include "ui/platform/ScreenPlacement.h"
#include "ui/platform/UserLocale.h"
#include "ui/texts/QtText.h"

#include <QFile>
#include <QFontDatabase>
#include <QLocale>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <exception>

static void InitShellResources() {
    Q_INIT_RESOURCE(resources);
}

namespace qrb::ui {

TOndrixApplication::TOndrixApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("OndrixQRB"));
    InitResources();
    RegisterTahoma();
    // Every window and dialog opens whole on its screen, however its code placed it.
    KeepWindowsOnScreen(*this);
}

bool TOndrixApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Messages().ShowError(e.what());
    } catch (...) {
        Messages().ShowError("Unknown exception");
    }
    return false;
}

namespace {

int signalPipe[2] = {-1, -1};

void NoteSignal(int) {
    if (signalPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    }
}

} // namespace

void CatchTerminationSignals() {
    if (signalPipe[0] >= 0 || pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

void WatchTerminationSignals(QObject* owner, std::function<void()> onSignal) {
    if (signalPipe[0] < 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    auto handler = std::make_shared<std::function<void()>>(std::move(onSignal));
    auto drain = [handler] {
        char buffer[16];
        bool any = false;
        while (read(signalPipe[0], buffer, sizeof buffer) > 0)
            any = true;
        if (any) (*handler)();
    };
    QObject::connect(notifier, &QSocketNotifier::activated, owner, drain);
    // A signal noted before the watch started.
    QMetaObject::invokeMethod(owner, drain, Qt::QueuedConnection);
}

void InitResources() {
    static const bool done = [] {
        InitShellResources();
        return true;
    }();
    (void)done;
}

int RegisterTahoma() {
    int added = 0;
    for (const char* file : kTahomaFiles)
        if (QFile::exists(QString::fromLatin1(file)) &&
            QFontDatabase::addApplicationFont(QString::fromLatin1(file)) >= 0)
            ++added;
    return added;
}

void ApplyUserLocale() {
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C) return;
    device::TFormatSettings settings = device::GetFormatSettings();
    settings.DecimalSeparator = FromQt(locale.decimalPoint());
    settings.ThousandSeparator = FromQt(locale.groupSeparator());
    settings.DateSeparator = "/";
    settings.TimeSeparator = ":";
    settings.ShortDateFormat = QtPatternToClassLibrary(FromQt(locale.dateFormat(QLocale::ShortFormat)));
    settings.LongDateFormat = QtPatternToClassLibrary(FromQt(locale.dateFormat(QLocale::LongFormat)));
    settings.ShortTimeFormat = QtPatternToClassLibrary(FromQt(locale.timeFormat(QLocale::ShortFormat)));
    settings.LongTimeFormat = QtPatternToClassLibrary(FromQt(locale.timeFormat(QLocale::LongFormat)));
    if (!locale.amText().isEmpty()) settings.TimeAMString = FromQt(locale.amText());
    if (!locale.pmText().isEmpty()) settings.TimePMString = FromQt(locale.pmText());
    device::SetFormatSettings(settings);
}

} // namespace qrb::ui
