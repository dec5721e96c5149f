#pragma once
// The main window's configuration server: the line server over the window's translator,
// its scan gate and its range mode.

#include "ui/MainWindow.h"
#include "ui/configserver/ConfigServer.h"

#include <memory>

namespace qrb::ui {

std::unique_ptr<TConfigServerControl> CreateConfigServerControl(TOndrixMain& window);
// The way the window's requests take: the gate's request path.
TConfigServer::TRunWhenOpen ConfigRequestPath(TOndrixMain& window);

} // namespace qrb::ui
