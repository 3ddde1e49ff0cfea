#include "ui/HelpPages.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tovali {

QString FindHelpPage(const QString& fileName) {
    const QDir installed(QCoreApplication::applicationDirPath() + u'/' +
                         QStringLiteral(TOVALI_DOCS_FROM_BIN));
    for (const QDir& dir : {installed, QDir(QStringLiteral(TOVALI_SOURCE_DOCS))}) {
        const QFileInfo page(dir, fileName);
        if (page.isFile()) return page.canonicalFilePath();
    }
    return {};
}

void OpenHelpPage(const QString& fileName) {
    const QString page = FindHelpPage(fileName);
    if (!page.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

}  // namespace tovali
