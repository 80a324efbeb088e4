#include "ui/DocPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quillon::ui {

QString DocFile(const QString& page)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList folders = {
        appDir + QStringLiteral("/../" QUILLON_RELATIVE_DOC_DIR),
        QStringLiteral(QUILLON_INSTALLED_DOC_DIR),
        QStringLiteral(QUILLON_SOURCE_DOC_DIR),
        // The README sits at the top of the source tree, above the docs folder.
        QStringLiteral(QUILLON_SOURCE_DOC_DIR "/.."),
    };
    for (const QString& folder : folders) {
        const QFileInfo file(QDir(folder).filePath(page));
        if (file.isFile()) return file.canonicalFilePath();
    }
    return {};
}

QUrl DocUrl(const QString& page)
{
    const QString file = DocFile(page);
    return file.isEmpty() ? QUrl() : QUrl::fromLocalFile(file);
}

}  // namespace quillon::ui
