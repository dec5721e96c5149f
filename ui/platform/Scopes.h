#pragma once
// Scopes that the main window, the channel commands and the dialogs hold around their work.

#include <QCursor>
#include <QGuiApplication>

namespace qrb::ui {

// The hourglass for its lifetime or until Release.
class TWaitCursor {
public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TWaitCursor() { Release(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
    void Release() {
        if (active_) {
            active_ = false;
            QGuiApplication::restoreOverrideCursor();
        }
    }

private:
    bool active_ = true;
};

// Sets a flag for its lifetime (Busy), also when an exception leaves the scope. Nested in a
// command that holds Busy, it leaves the flag set for the rest of that command.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~TFlagScope() { flag_ = was_; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
    bool was_;
};

} // namespace qrb::ui
