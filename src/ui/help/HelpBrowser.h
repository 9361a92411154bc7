#pragma once

#include <QHash>
#include <QTextBrowser>

namespace zorvex {

// The text of the levels table that stands in the permissible-levels chapter
// for its marker: the seven levels as the program's database holds them now.
QString CurrentLevelsHtml();
// Where the chapter on the permissible levels shows the current values.
inline constexpr const char* kCurrentLevelsMarker = "<!--current-levels-->";

// Shows the chapters of the manual. The chapter on the permissible levels gets
// the values in force filled in each time it is shown, so it never shows
// values other than those the table is marked against. A picture shown
// narrower than it is (<img width=...>) is scaled smoothly here, since the
// document would scale it pixel by pixel.
class THelpBrowser final : public QTextBrowser {
    Q_OBJECT
public:
    explicit THelpBrowser(QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QHash<QString, int> pictureWidths_;  // by picture file, from the chapters loaded
};

}  // namespace zorvex
