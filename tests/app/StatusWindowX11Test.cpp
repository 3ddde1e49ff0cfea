// Runs on a real X server (xvfb-run) in a D-Bus session of its own: the
// window manager's close request reaches a window only through the window
// system, and a screen reader hears the window only through AT-SPI.
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusVariant>
#include <QProgressBar>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/UnitStatus.h"

using namespace tovali;

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, std::strlen(name), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// What a window manager sends when the user closes a window from its title bar.
void SendWindowManagerClose(WId window) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = Atom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = Atom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    // A checked request waits for the server, so the message is on its way when we return.
    const xcb_void_cookie_t cookie =
        xcb_send_event_checked(connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                               reinterpret_cast<const char*>(&event));
    std::free(xcb_request_check(connection, cookie));
    xcb_disconnect(connection);
}

// The window that window's WM_TRANSIENT_FOR names, or none.
xcb_window_t TransientFor(WId window) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const auto cookie = xcb_get_property(connection, 0, xcb_window_t(window),
                                         XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    xcb_window_t owner = XCB_WINDOW_NONE;
    if (reply && xcb_get_property_value_length(reply) == sizeof(xcb_window_t))
        owner = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
    std::free(reply);
    xcb_disconnect(connection);
    return owner;
}

// Qt's accessibility bridge of this process on the accessibility bus: the
// connection of this process that is not the test's own; empty until it has
// joined.
QString BridgeName(QDBusConnection& bus) {
    const QStringList names = bus.interface()->registeredServiceNames().value();
    for (const QString& name : names) {
        if (!name.startsWith(':') || name == bus.baseService()) continue;
        if (bus.interface()->servicePid(name).value() == uint(::getpid())) return name;
    }
    return {};
}

// A property of an object's AT-SPI Accessible interface, asked as a screen
// reader asks it. The answer comes from this very process, so the event loop
// runs while it is awaited.
QString AtSpiText(QDBusConnection& bus, const QString& service, const QString& path,
                  const QString& property) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.a11y.atspi.Accessible") << property;
    QDBusPendingReply<QDBusVariant> reply = bus.asyncCall(get);
    for (int i = 0; i < 500 && !reply.isFinished(); ++i) QTest::qWait(10);
    return reply.isFinished() && reply.isValid() ? reply.value().variant().toString() : QString();
}

}  // namespace

class StatusWindowX11Test : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != "xcb") QSKIP("needs an X server (xvfb-run)");
    }

    void titleBarCloseIsRefused() {
        // The same request closes an ordinary window, so it does arrive.
        QWidget plain;
        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        SendWindowManagerClose(plain.winId());
        QTRY_VERIFY(!plain.isVisible());

        TFormStatus status;
        status.show();
        QVERIFY(QTest::qWaitForWindowExposed(&status));
        SendWindowManagerClose(status.winId());
        QTest::qWait(300);
        QVERIFY(status.isVisible());
    }

    // The window manager minimises and restores the two together, even when
    // the progress window maps first (a start with pictures named).
    void isATransientOfTheMainWindowShownFirstOrNot() {
        QWidget main;
        TFormStatus status;
        status.SetMainWindow(&main);
        status.show();
        QVERIFY(QTest::qWaitForWindowExposed(&status));
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTRY_COMPARE(TransientFor(status.winId()), xcb_window_t(main.winId()));
    }

    // A screen reader asks over AT-SPI: the bar's description is the count
    // and the time left it draws, not the bare position.
    void screenReadersHearTheCountAndTheTimeLeft() {
        QDBusConnection session = QDBusConnection::sessionBus();
        QVERIFY2(session.isConnected(), "needs a D-Bus session (dbus-run-session)");
        // Asking for the accessibility bus starts it; Qt's bridge then joins.
        const QDBusReply<QString> address = session.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
            QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
        QVERIFY2(address.isValid(), qPrintable(address.error().message()));
        QDBusConnection bus = QDBusConnection::connectToBus(address.value(), "screen-reader");
        QVERIFY(bus.isConnected());

        TFormStatus status;
        status.SetStopAction([] {});
        status.SetRange(0, 6 * 60 - 1);
        status.SetPosition(42);  // the seventh file saved, a moment after the start
        status.show();
        QVERIFY(QTest::qWaitForWindowExposed(&status));
        const QString drawn = status.ProgressBarStatus->text();
        QCOMPARE(drawn, QStringLiteral("7 / 60  残り約10秒"));
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(status.ProgressBarStatus);
        QVERIFY(bar);
        QCOMPARE(bar->text(QAccessible::Value), drawn);
        const QString path = QStringLiteral("/org/a11y/atspi/accessible/") +
                             QString::number(QAccessible::uniqueId(bar));

        QString bridge;
        QTRY_VERIFY_WITH_TIMEOUT(!(bridge = BridgeName(bus)).isEmpty(), 10000);
        QCOMPARE(AtSpiText(bus, bridge, path, QStringLiteral("Name")), QStringLiteral("進行状況"));
        QCOMPARE(AtSpiText(bus, bridge, path, QStringLiteral("Description")), drawn);
        status.SetPosition(6 * 60 - 1);
        QCOMPARE(AtSpiText(bus, bridge, path, QStringLiteral("Description")),
                 QStringLiteral("60 / 60"));
    }
};

QTEST_MAIN(StatusWindowX11Test)
#include "StatusWindowX11Test.moc"
