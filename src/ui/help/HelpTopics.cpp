#include "ui/help/HelpTopics.h"

#include <QWidget>

namespace zorvex {

QString HelpChapterFor(const QWidget* widget) {
    for (const QObject* object = widget; object != nullptr; object = object->parent()) {
        const QString name = object->objectName();
        if (name.isEmpty()) continue;
        for (const THelpTopic& topic : kHelpTopics)
            if (name == QLatin1String(topic.objectName)) return QString::fromLatin1(topic.chapter);
    }
    return QString::fromLatin1(kHelpIndexChapter);
}

}  // namespace zorvex
