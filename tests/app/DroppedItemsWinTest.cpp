// Explorer's drops on Windows: Qt hands the dropped UTF-16 names over as file
// URLs; each local one must reach intake as the system writes it (drive,
// back-slashes, network share), in the program's form of a path, whatever
// its script.
#include <QtTest>

#include "app/UnitMain.h"

using namespace tovali;

class DroppedItemsWinTest : public QObject {
    Q_OBJECT

  private slots:
    void localNamesArriveWholeInTheProgramsForm() {
        const QList<QUrl> urls = {
            QUrl::fromLocalFile(QString::fromUtf8("C:/Users/田中/写真/旅行 1/a,b.JPG")),
            QUrl::fromLocalFile(QString::fromUtf8("D:/𠮷野家😀.jpg")),
            QUrl::fromLocalFile(QStringLiteral("//server/share/photo.png")),
            QUrl(QStringLiteral("https://example.com/pics/web%20photo.jpg?size=2")),
        };
        // Qt's own uri-list carries the drive behind a '/': it is not read.
        const std::vector<TDroppedItem> items = DroppedItems(urls, "file:///C:/other.jpg\r\n");
        QCOMPARE(items.size(), std::size_t(4));
        QVERIFY(items[0].Local && items[1].Local && items[2].Local && !items[3].Local);
        QCOMPARE(QString::fromStdString(items[0].Path),
                 QString::fromUtf8("C:\\Users\\田中\\写真\\旅行 1\\a,b.JPG"));
        // Characters outside the basic plane (a surrogate pair in UTF-16)
        // become one 4-byte sequence each.
        QCOMPARE(items[1].Path, std::string("D:\\\xF0\xA0\xAE\xB7\xE9\x87\x8E\xE5\xAE\xB6"
                                            "\xF0\x9F\x98\x80.jpg"));
        QCOMPARE(items[2].Path, std::string("\\\\server\\share\\photo.png"));
        QCOMPARE(items[3].Path, std::string("web photo.jpg"));
    }
};

QTEST_MAIN(DroppedItemsWinTest)
#include "DroppedItemsWinTest.moc"
