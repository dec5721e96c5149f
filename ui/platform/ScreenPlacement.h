#pragma once
// Keeps top-level windows where a user can reach them: a window that would cross an edge of the
// screen's available area is moved in, so its buttons and fields stay on the screen.

#include <QPoint>
#include <QRect>
#include <QSize>

class QApplication;
class QWidget;

namespace qrb::ui {

// The top-left corner for a frame placed at frame.topLeft() so that it lies inside available.
// A frame larger than the area keeps its top-left edge on the area's top-left edge, where the
// title bar and the first controls are.
QPoint KeepOnScreen(const QRect& frame, const QRect& available);

// The available area of the screen rect mostly lies on; the primary screen's for a rect on none.
// Empty without a screen.
QRect AvailableAreaFor(const QRect& rect);

// Moves window (its frame) to wanted, moved in where it would leave the available area of the
// screen at wanted (else the window's own or the primary screen).
void MoveOnScreen(QWidget* window, const QPoint& wanted);

// Keeps a window where it is, moved in where its frame crosses an edge of the screen it mostly
// lies on, and shrunk to that area (not below its minimum size) where its frame is larger; a
// window inside is neither moved nor resized (a move while the frame is still unknown would
// shift it).
void KeepOnScreen(QWidget* window);

// The size of a window's frame; before its first show, the size the show gives it.
QSize FrameSize(QWidget* window);

// Installs the program's one placement rule on app: every window and dialog it shows is kept on
// the screen by KeepOnScreen as it is shown and again once its frame or final size is known (an
// X11 window manager frames a window only after it was mapped), at the latest shortly after its
// first expose; then it is where the user puts it, with or without a window manager. A window
// shown for the first time with the size Qt gives it (a window sized by the program keeps its
// size) gets its size hint and the height its layout needs at its width, as far as the screen's
// area allows.
void KeepWindowsOnScreen(QApplication& app);

} // namespace qrb::ui
