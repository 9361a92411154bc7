#include "ui/help/HelpBrowser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTextDocument>

#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/Levels.h"
#include "storage/SQLiteDatabase.h"
#include "ui/help/HelpTopics.h"

namespace zorvex {

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool IsMagnetic(int index) {
    return index == msfMFLB || index == msfMFHB || index == msfMF50hz;
}

}  // namespace

QString CurrentLevelsHtml() {
    if (!HasMainDatabase())
        return QStringLiteral("<p><b>База данных не открыта: текущие значения не показаны.</b></p>");
    TLevels levels = kLevelDefaults;
    QString failure;
    try {
        LoadLevels(MainDatabase(), levels);
    } catch (const std::exception& e) {
        // The same as at the window's start: the entries before the failure are
        // read, the rest keep their built-in values.
        failure = QStringLiteral(
                      "<p><b>Не все уровни прочитаны из базы данных (%1); остальные — встроенные значения.</b></p>")
                      .arg(QString::fromUtf8(e.what()).toHtmlEscaped());
    }
    QString html = QStringLiteral(
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">"
        "<tr><th>Показатель</th><th>Имя в базе</th><th>Задано сейчас</th><th>По умолчанию</th></tr>");
    for (int index = 1; index < kSubfieldCount; ++index) {
        const QString unit = IsMagnetic(index) ? QStringLiteral("нТл") : QStringLiteral("В/м");
        html +=
            QStringLiteral(
                "<tr><td>%1</td><td>%2</td><td align=\"right\"><b>%3</b> %5</td><td align=\"right\">%4 %5</td></tr>")
                .arg(Text(kLevelLabels[static_cast<std::size_t>(index)]).toHtmlEscaped(),
                     Text(LevelNames[static_cast<std::size_t>(index)]),
                     Text(FloatToStr(levels[static_cast<std::size_t>(index)])),
                     Text(FloatToStr(kLevelDefaults[static_cast<std::size_t>(index)])), unit);
    }
    html += QStringLiteral("</table>");
    return failure + html;
}

THelpBrowser::THelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName("HelpBrowser");
    setOpenExternalLinks(false);
}

QVariant THelpBrowser::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::HtmlResource && name.isLocalFile()) {
        QFile file(name.toLocalFile());
        if (!file.open(QIODevice::ReadOnly)) return QTextBrowser::loadResource(type, name);
        QString html = QString::fromUtf8(file.readAll());
        if (QFileInfo(name.toLocalFile()).fileName() == QLatin1String(kLevelsChapter))
            html.replace(QLatin1String(kCurrentLevelsMarker), CurrentLevelsHtml());
        static const QRegularExpression picture(QStringLiteral("<img src=\"([^\"]+)\" width=\"(\\d+)\""));
        for (auto it = picture.globalMatch(html); it.hasNext();) {
            const auto match = it.next();
            const QString path =
                QFileInfo(QFileInfo(name.toLocalFile()).dir().filePath(match.captured(1))).canonicalFilePath();
            pictureWidths_.insert(path, match.captured(2).toInt());
        }
        return html;
    }
    if (type == QTextDocument::ImageResource && name.isLocalFile()) {
        const QString path = QFileInfo(name.toLocalFile()).canonicalFilePath();
        const QImage image(path);
        const int width = pictureWidths_.value(path, 0);
        if (!image.isNull() && width > 0 && width < image.width())
            return image.scaledToWidth(width, Qt::SmoothTransformation);
        if (!image.isNull()) return image;
    }
    return QTextBrowser::loadResource(type, name);
}

}  // namespace zorvex
