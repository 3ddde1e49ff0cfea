// The font list of the date and comment pages: which faces it keeps, and
// its order, from made-up enumerations and from the fonts installed here.
#include <QCollator>
#include <QFontDatabase>
#include <QtTest>

#include "ui/settings/FontList.h"

using namespace tovali;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TFontDescription Japanese(const QString& face) {
    return {face, true, true};
}

QCollator CaseBlindCollator() {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

}  // namespace

class FontListTest : public QObject {
    Q_OBJECT

  private slots:
    void keepsOnlyScalableJapaneseFaces();
    void dropsVerticalFacesButKeepsTheFaceItself();
    void listsAFaceEnumeratedTwiceOnce();
    void sortsIgnoringLetterCase();
    void callbackAlwaysContinues();
    void noQualifyingFontGivesAnEmptyList();
    void installedListIsFilteredSortedAndUnique();
};

void FontListTest::keepsOnlyScalableJapaneseFaces() {
    QStringList list;
    BuildFontList({Japanese("IPAGothic"),
                   {"Fixed Bitmap JP", false, true},
                   {"DejaVu Sans", true, false},
                   {"Terminal", false, false}},
                  list);
    QCOMPARE(list, QStringList{"IPAGothic"});
}

void FontListTest::dropsVerticalFacesButKeepsTheFaceItself() {
    QStringList list;
    BuildFontList(
        {Japanese(U("@ＭＳ ゴシック")), Japanese(U("ＭＳ ゴシック")), Japanese(U("Odd@Name"))},
        list);
    QCOMPARE(list, QStringList{U("ＭＳ ゴシック")});
}

void FontListTest::listsAFaceEnumeratedTwiceOnce() {
    QStringList list;
    BuildFontList({Japanese("IPAMincho"), Japanese("IPAGothic"), Japanese("IPAMincho"),
                   Japanese("ipagothic")},
                  list);
    QCOMPARE(list, QStringList({"IPAGothic", "IPAMincho"}));
}

void FontListTest::sortsIgnoringLetterCase() {
    QStringList list{"stale entry"};
    BuildFontList({Japanese("beta"), Japanese("Gamma"), Japanese("alpha"), Japanese("Delta")},
                  list);
    QCOMPARE(list, QStringList({"alpha", "beta", "Delta", "Gamma"}));
}

void FontListTest::callbackAlwaysContinues() {
    QStringList list;
    QCOMPARE(FontEnumCallback({"DejaVu Sans", true, false}, list), 1);
    QCOMPARE(FontEnumCallback(Japanese("IPAGothic"), list), 1);
    QCOMPARE(FontEnumCallback(Japanese("IPAGothic"), list), 1);
    QCOMPARE(list, QStringList{"IPAGothic"});
}

void FontListTest::noQualifyingFontGivesAnEmptyList() {
    QStringList list{"left over"};
    BuildFontList({{"DejaVu Sans", true, false}}, list);
    QVERIFY(list.isEmpty());
}

void FontListTest::installedListIsFilteredSortedAndUnique() {
    QStringList list;
    BuildFontList(list);
    QVERIFY2(!list.isEmpty(), "no Japanese font installed (fonts-ipafont-gothic)");
    const QCollator collator = CaseBlindCollator();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString& face = list[i];
        QVERIFY2(!face.contains(u'@'), qPrintable(face));
        QVERIFY2(QFontDatabase::isSmoothlyScalable(face), qPrintable(face));
        QVERIFY2(QFontDatabase::writingSystems(face).contains(QFontDatabase::Japanese),
                 qPrintable(face));
        if (i > 0) QVERIFY2(collator.compare(list[i - 1], face) < 0, qPrintable(face));
    }
}

QTEST_MAIN(FontListTest)
#include "FontListTest.moc"
