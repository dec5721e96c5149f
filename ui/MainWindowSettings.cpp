// LoadSettings and SaveSettings of the main window over "Ondrix.ini".

#include "model/I2CTranslator.h"
#include "ui/MainWindow.h"
#include "ui/texts/Texts.h"

#include <QGuiApplication>
#include <QScreen>

namespace qrb::ui {

void TOndrixMain::LoadSettings() {
    int screenWidth = 1024, screenHeight = 768;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        screenWidth = screen->geometry().width();
        screenHeight = screen->geometry().height();
    }
    const TSettings defaults = DefaultSettings(screenWidth, screenHeight, UserFolder);
    // A file that cannot be read gives the defaults; the start logs why, and the file is
    // not written over at close.
    settingsError_.clear();
    const TSettings settings = LoadSettingsFile(SettingsFile, defaults, settingsError_);

    // 1. Geometry (the minimum size still applies) and window state.
    resize(settings.Width, settings.Height);
    move(settings.Left, settings.Top);
    if (settings.State == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
    else if (settings.State == 1)
        setWindowState(windowState() | Qt::WindowMinimized);
    // 2.-6. Language, interfaces, simulated devices, LAN targets, options, colours.
    SetLangOffset(settings.LangOffset);
    Options = settings;
    SetupFolder = settings.SetupFolder;
    settingsLoaded_ = true;
    // 7. Hand-overs to the translator.
    if (Translator) {
        Translator->SetDebugLevel(Options.DebugLevel);
        Translator->SetDeviceLock(Options.SWStartLock);
        Translator->SetICPCompVoltage(Options.ICPCompVoltage);
        Translator->SetZeroAverage(Options.ZeroAverage);
    }
}

bool TOndrixMain::SaveSettings(std::string& error) {
    TSettings settings = Options;
    const int32_t state = isMaximized() ? 2 : (isMinimized() ? 1 : 0);
    const TWindowGeometry geometry = GeometryToStore(state, width(), height(), y(), x());
    settings.Width = geometry.Width;
    settings.Height = geometry.Height;
    settings.Top = geometry.Top;
    settings.Left = geometry.Left;
    settings.State = geometry.State;
    settings.LangOffset = LangOffset();
    settings.SetupFolder = SetupFolder;
    return SaveSettingsFile(SettingsFile, settings, error);
}

} // namespace qrb::ui
