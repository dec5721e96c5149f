#include "ui/ConfigServerControl.h"

#include "ui/configserver/ConfigServer.h"

#include <stdexcept>

namespace qrb::ui {
namespace {

class TMainConfigServer : public TConfigServerControl {
public:
    explicit TMainConfigServer(TOndrixMain& window)
        : server_(*window.Translator, ConfigRequestPath(window)) {
        server_.Handler().RangeMode = [&window] { return static_cast<int>(window.Options.RangeMode); };
    }

    // The server always binds 127.0.0.1 and takes at most two clients.
    void Activate(const std::string&, uint16_t port, int) override {
        QString error;
        if (!server_.Start(port, &error)) throw std::runtime_error(error.toStdString());
    }
    void Deactivate() override { server_.Stop(); }
    bool Active() const override { return server_.IsActive(); }

private:
    TConfigServer server_;
};

} // namespace

TConfigServer::TRunWhenOpen ConfigRequestPath(TOndrixMain& window) {
    return [&window](std::function<void()> fn) { window.Gate.RunRequest(std::move(fn)); };
}

std::unique_ptr<TConfigServerControl> CreateConfigServerControl(TOndrixMain& window) {
    return std::make_unique<TMainConfigServer>(window);
}

} // namespace qrb::ui
