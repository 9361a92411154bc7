#include "report/ProtocolReportFill.h"

#include "base/Exceptions.h"
#include "base/Format.h"
#include "protocol/ProtocolSession.h"

namespace zorvex::report {

ProtocolReportData MakeProtocolReportData(const IProtocolFields& fields, const TResultTables& tables) {
    ProtocolReportData data;
    for (const char* name : kHeadingFieldNames) data.fields[name] = HeadingValue(fields, name);
    for (int k = 0; k < kProtocolTableCount; ++k) {
        const TResultTable& table = tables[static_cast<std::size_t>(k)];
        ResultTableCells& cells = data.tables[static_cast<std::size_t>(k)];
        for (int row = 0; row < table.rowCount; ++row) {
            std::vector<std::string> line;
            for (int col = 0; col < table.colCount; ++col) line.push_back(table.Cell(col, row));
            cells.push_back(std::move(line));
        }
    }
    return data;
}

ProtocolReportData StoredProtocolReportData(std::int32_t protocolId) {
    TProtocolSession session = StoredProtocolSession(protocolId);
    TProtocolFields fields;
    LoadProtocolTexts(session, fields);
    if (!session.TextsLoaded)
        throw Exception(Format("Протокол %d не удалось загрузить: %s", {protocolId, session.NotLoadedReason}));
    return MakeProtocolReportData(fields, session.Tables);
}

}  // namespace zorvex::report
