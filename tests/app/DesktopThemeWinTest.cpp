// The Windows "apps use dark theme" setting selects the dark look: the
// program asks Qt for the dark palette, which brings the dark artwork.
#include <windows.h>

#include <QtTest>

#include "app/DesktopTheme.h"

using namespace tovali;

namespace {

constexpr const wchar_t* kPersonalize =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

// Sets AppsUseLightTheme (or removes it for a negative value).
void SetAppsUseLightTheme(int value) {
    if (value < 0) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme");
        return;
    }
    const DWORD data = DWORD(value);
    RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme", REG_DWORD, &data,
                    sizeof data);
}

// The user's own value, put back after the test.
int CurrentAppsUseLightTheme() {
    DWORD value = 0, size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme", RRF_RT_REG_DWORD,
                        nullptr, &value, &size) == ERROR_SUCCESS
               ? int(value)
               : -1;
}

}  // namespace

class DesktopThemeWinTest : public QObject {
    Q_OBJECT

  private slots:
    void theDarkAppsSettingAsksForTheDarkPalette() {
        const int saved = CurrentAppsUseLightTheme();
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");

        qunsetenv("QT_QPA_PLATFORM");
        SetAppsUseLightTheme(1);
        QVERIFY(!PrepareDarkDesktopLook());
        SetAppsUseLightTheme(-1);
        QVERIFY(!PrepareDarkDesktopLook());
        QVERIFY(qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"));

        SetAppsUseLightTheme(0);
        QVERIFY(PrepareDarkDesktopLook());
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("windows:darkmode=2"));
        // A platform the user named is kept.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QVERIFY(PrepareDarkDesktopLook());
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen"));

        SetAppsUseLightTheme(saved);
        qputenv("QT_QPA_PLATFORM", platform);
    }
};

QTEST_MAIN(DesktopThemeWinTest)
#include "DesktopThemeWinTest.moc"
