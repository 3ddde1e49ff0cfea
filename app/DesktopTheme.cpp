#include "app/DesktopTheme.h"

#include <QApplication>
#include <QPalette>

#ifdef _WIN32
#include <windows.h>

#include <QByteArray>
#include <QtGlobal>
#endif

namespace tovali {

// Qt 6.4's dark Windows palette gives check boxes and radio buttons a blue
// base (#0078d7) meant for the native style; Fusion fills their indicators
// with it, so that an unchecked one looks set. Qt 6.5 drops those palettes.
void UseDarkDesktopStyle() {
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QPalette palette = QApplication::palette();
    QApplication::setPalette(palette, "QCheckBox");
    QApplication::setPalette(palette, "QRadioButton");
}

#ifdef _WIN32
namespace {

// HKCU\...\Themes\Personalize AppsUseLightTheme = 0; high contrast overrides
// it, as it does for Windows' own programs.
bool WindowsAppsUseDarkTheme() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
        (contrast.dwFlags & HCF_HIGHCONTRASTON))
        return false;
    DWORD value = 1;
    DWORD size = sizeof value;
    const LSTATUS result = RegGetValueW(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
        L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return result == ERROR_SUCCESS && value == 0;
}

}  // namespace

bool PrepareDarkDesktopLook() {
    if (!WindowsAppsUseDarkTheme()) return false;
    // darkmode=2: dark window frames and the dark palette. A platform the
    // user named (QT_QPA_PLATFORM) is left as it is.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("windows:darkmode=2"));
    return true;
}

#else

bool PrepareDarkDesktopLook() {
    return false;
}

#endif

}  // namespace tovali
