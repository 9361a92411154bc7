#pragma once

#include <QString>
#include <array>

class QWidget;

namespace zorvex {

// Which chapter of the manual explains which window, or which part of a
// window, by objectName. F1 walks up from the widget with the focus; the
// first name met that is listed here decides.
struct THelpTopic {
    const char* objectName;
    const char* chapter;  // a file of the manual, with an optional #anchor
};

inline constexpr const char* kHelpIndexChapter = "index.html";
inline constexpr const char* kLevelsChapter = "levels.html";

inline constexpr std::array<THelpTopic, 25> kHelpTopics = {{
    {"HelpWindow", "index.html"},
    {"DateTree", "history.html"},
    {"HistoryPnl", "history.html"},
    {"GroupBox2", "graph.html"},
    {"MonComboBox", "graph.html"},
    {"GroupBox1", "table.html"},
    {"LimPnl", "levels.html"},
    {"ToolBar1", "main-window.html"},
    {"Mainform", "main-window.html"},
    {"GetDevDataForm", "download.html"},
    {"PasportForm", "passport.html"},
    {"MaxLevelsForm", "levels.html"},
    {"ReferenceForm", "references.html"},
    {"RefSelectForm", "references.html#picker"},
    {"ReportForm", "protocols.html"},
    {"ReportPreview", "protocols.html#preview"},
    {"OpenProtocolForm", "protocols.html#list"},
    {"GraphPrintPreview", "graph.html#print"},
    {"AboutForm", "index.html"},
    {"IntegrityForm", "audit.html#verify"},
    {"AuditLogForm", "audit.html#log"},
    {"ArchivePushForm", "archive.html#push"},
    {"TablesPanel", "protocols.html#tables"},
    {"StatGrid", "graph.html#statistics"},
    {"Graph", "graph.html"},
}};

// The chapter for `widget`: the topic of it or of its nearest listed parent,
// or the contents when none is listed.
QString HelpChapterFor(const QWidget* widget);

}  // namespace zorvex
