#include "report/ProtocolReport.h"

#include "base/Numbers.h"
#include "report/ReportPreview.h"

namespace zorvex::report {

namespace {

// Column edges, mm from the page's left edge.
constexpr double kNumber = 10, kCaption = 25, kValue = 97, kValueEnd = 199;
constexpr double kLevelCols[] = {10, 30, 61, 90, 121, 198};
constexpr double kWorkplaceCols[] = {10, 30, 50, 81, 139, 198};
constexpr double kLuminanceCols[] = {10, 30, 121, 198};
constexpr double kTableGap = 4;  // space above each table's heading

ReportCell HeadingCell(double x1, double x2, double top, double height, std::string text) {
    return CellAt(x1, x2, top, height).Text(std::move(text)).Bold().Center().Middle().Box(kHeadingLine);
}

ReportCell DataCell(double x1, double x2, double height) {
    return CellAt(x1, x2, 0, height).Middle().Box(kDataLine);
}

ReportBlock TitleBlock() {
    ReportBlock block;
    block.name = "Title";
    ReportBand band;
    band.height = 44;
    band.cells.push_back(CellAt(13, 110, 20, 6).Text("ПРОТОКОЛ  №").Bold().Right());
    band.cells.push_back(CellAt(111, 136, 20, 6).Field(kHeadingSourceName, "Edit0").Bold());
    band.cells.push_back(CellAt(43, 172, 28, 12)
                             .Text("инструментальных измерений и оценки уровней  электромагнитных полей на рабочих "
                                   "местах, оборудованных  ПЭВМ и неравномерно-сти распределения яркости в поле "
                                   "зрения пользователя ПЭВМ")
                             .Center());
    block.body.push_back(std::move(band));
    return block;
}

ReportBlock HeadingFieldsBlock() {
    struct Row {
        const char* number;
        const char* caption;
        const char* field;
        double height;
    };
    static const Row rows[] = {
        {"1.", "Организация, объект, на котором проводились измерения и оценка", "Edit1", 14},
        {"2", "Представитель обследуемого объекта, присутствующий при проведении измерений и оценки", "Edit2", 14},
        {"3", "Дата  проведения измерений и оценки", "DateTimePicker1", 7},
        {"4", "Цель проведения измерений и оценки", "Edit3", 7},
        {"5", "Наименование организации,  привлеченной к выполнению измерений и оценки", "Edit4", 14},
        {"6", "Средства измерений и сведения о Государственной поверке", "Memo5", 32},
        {"7", "НТД, в соответствии с которой проводились измерения и оценка и давалось заключение", "Memo6", 28},
        {"8", "Наименование и коды подразделений и рабочих мест ", "Memo7", 29},
        {"9", "Место проведения измерений и оценки", "Edit8", 15},
    };
    ReportBlock block;
    block.name = "HeadingFields";
    block.dataSet = kHeadingSourceName;
    for (const Row& row : rows) {
        ReportBand band;
        band.height = row.height;
        band.cells.push_back(CellAt(kNumber, kCaption, 0, row.height).Text(row.number).Right().Box(kDataLine));
        band.cells.push_back(CellAt(kCaption, kValue, 0, row.height).Text(row.caption).Box(kDataLine));
        band.cells.push_back(CellAt(kValue, kValueEnd, 0, row.height).Field(row.field).Box(kDataLine));
        block.body.push_back(std::move(band));
    }
    return block;
}

ReportBlock SectionBlock() {
    ReportBlock block;
    block.name = "Section10";
    block.startsNewPage = true;
    ReportBand band;
    band.height = 13;
    band.cells.push_back(CellAt(10, 199, 7, 6).Text("10 Результаты измерений уровней ЭМП").Bold());
    block.body.push_back(std::move(band));
    return block;
}

ReportBlock WorkplaceBlock() {
    const double* c = kWorkplaceCols;
    ReportBlock block;
    block.name = "Table0";
    block.dataSet = kTableSourceNames[0];
    ReportBand& header = block.header;
    header.cells.push_back(CellAt(c[0], c[5], 0, 6).Text("Характеристика исследуемых рабочих мест").Bold().Center());
    const char* titles[] = {"№ РМ", "Категория\nработ", "Местоположение РМ",
                            "Тип, номер (инвентарный номер) мо-нитора и периферийных устройств на РМ",
                            "Тип, инвентарный номер защитного фильтра"};
    const char* numbers[] = {"1", "2", "3", "4", "5"};
    for (int i = 0; i < 5; ++i) {
        header.cells.push_back(HeadingCell(c[i], c[i + 1], 6, 13, titles[i]));
        header.cells.push_back(HeadingCell(c[i], c[i + 1], 19, 6, numbers[i]));
    }
    header.height = 25;

    ReportBand row;
    row.height = 5;
    row.cells.push_back(DataCell(c[0], c[1], 5).Field("c0").Right());
    for (int i = 1; i < 5; ++i) row.cells.push_back(DataCell(c[i], c[i + 1], 5).Field("c" + std::to_string(i)));
    block.body.push_back(std::move(row));
    return block;
}

ReportBand NoteFooter(std::string note) {
    ReportBand footer;
    footer.height = 16;
    footer.cells.push_back(CellAt(10, 40, 2, 5).Text("Примечание").Underline());
    footer.cells.push_back(CellAt(10, 190, 7, 9).Text(std::move(note)));
    return footer;
}

// How a level table's data row prints its columns 2 to 5.
struct LevelRow {
    double height = 5;
    bool centreC2 = false;
    bool stretchC4 = false;
    const char* fixedC4 = nullptr;  // a fixed text instead of the table's cell
};

ReportBlock LevelBlock(int table, std::string title, double titleHeight, std::string norm, LevelRow shape) {
    const double* c = kLevelCols;
    ReportBlock block;
    block.name = "Table" + std::to_string(table);
    block.dataSet = kTableSourceNames[table];
    ReportBand& header = block.header;
    const double g = kTableGap;
    const double measured = g + titleHeight, heights = measured + 8, numbers = heights + 6;
    header.cells.push_back(HeadingCell(c[0], c[1], g, numbers - g, "№ РМ"));
    header.cells.push_back(HeadingCell(c[1], c[5], g, titleHeight, std::move(title)));
    header.cells.push_back(HeadingCell(c[1], c[4], measured, 8, "Измеренное значение на уровне по высоте, м"));
    header.cells.push_back(HeadingCell(c[4], c[5], measured, 14, std::move(norm)));
    const char* heightTexts[] = {"0.5", "1.0", "1.5"};
    for (int i = 0; i < 3; ++i) header.cells.push_back(HeadingCell(c[i + 1], c[i + 2], heights, 6, heightTexts[i]));
    const char* columnNumbers[] = {"1", "2", "3", "4", "5"};
    for (int i = 0; i < 5; ++i) header.cells.push_back(HeadingCell(c[i], c[i + 1], numbers, 6, columnNumbers[i]));
    header.height = numbers + 6;

    ReportBand row;
    row.height = shape.height;
    row.cells.push_back(DataCell(c[0], c[1], shape.height).Field("c0").Right());
    row.cells.push_back(DataCell(c[1], c[2], shape.height).Field("c1"));
    ReportCell c2 = DataCell(c[2], c[3], shape.height).Field("c2");
    if (shape.centreC2) c2.Center();
    row.cells.push_back(c2);
    row.cells.push_back(DataCell(c[3], c[4], shape.height).Field("c3"));
    ReportCell c4 = DataCell(c[4], c[5], shape.height).Center();
    if (shape.fixedC4 != nullptr)
        c4.Text(shape.fixedC4);
    else
        c4.Field("c4");
    if (shape.stretchC4) c4.Stretch();
    row.cells.push_back(c4);
    block.body.push_back(std::move(row));
    return block;
}

ReportBlock LuminanceBlock() {
    const double* c = kLuminanceCols;
    const double g = kTableGap;
    ReportBlock block;
    block.name = "Table8";
    block.dataSet = kTableSourceNames[8];
    ReportBand& header = block.header;
    header.cells.push_back(HeadingCell(c[0], c[1], g, 19, "№ РМ"));
    header.cells.push_back(HeadingCell(
        c[1], c[3], g, 5, "Неравномерность распределения яркости в поле зрения пользователя ПЭВМ, отн.ед. *"));
    header.cells.push_back(HeadingCell(c[1], c[2], g + 5, 14, "Измеренное значение"));
    header.cells.push_back(HeadingCell(c[2], c[3], g + 5, 14, "Допустимый уровень (таблица 13 Р 2.2.2006-05) "));
    const char* numbers[] = {"1", "2", "3"};
    for (int i = 0; i < 3; ++i) header.cells.push_back(HeadingCell(c[i], c[i + 1], g + 19, 6, numbers[i]));
    header.height = g + 25;

    ReportBand row;
    row.height = 5;
    row.cells.push_back(DataCell(c[0], c[1], 5).Field("c0").Right());
    row.cells.push_back(DataCell(c[1], c[2], 5).Field("c1"));
    row.cells.push_back(DataCell(c[2], c[3], 5).Text("3").Center().Stretch());
    block.body.push_back(std::move(row));

    block.footer.height = 7;
    block.footer.cells.push_back(CellAt(10, 190, 1, 5).Text("* - для работ III категории "));
    return block;
}

ReportBlock ClosingBlock() {
    ReportBlock block;
    block.name = "Closing";
    block.dataSet = kHeadingSourceName;
    ReportBand band;
    band.height = 85;
    band.cells.push_back(CellAt(10, 99, 9, 5).Text("Измерения проводил инженер по испытаниям"));
    band.cells.push_back(CellAt(99, 140, 9, 5).BottomLine(kDataLine));
    band.cells.push_back(CellAt(144, 199, 9, 5).Field("ComboBoxEx9"));
    band.cells.push_back(CellAt(10, 99, 22, 5).Text("Начальник лаборатории по контролю ОВФП"));
    band.cells.push_back(CellAt(99, 140, 22, 5).BottomLine(kDataLine));
    band.cells.push_back(CellAt(144, 199, 22, 5).Field("ComboBoxEx10"));
    band.cells.push_back(CellAt(10, 199, 44, 5).Text("11. Заключение").Bold());
    band.cells.push_back(CellAt(10, 199, 49, 35).Field("Memo11"));
    block.body.push_back(std::move(band));
    return block;
}

const std::string kSameNorm =
    "Временные допустимые уровни ЭМП, создаваемые ПЭВМ на РМ  (табл.1 прил.2 СанПиН 2.2.2/2.4.1340)";

ReportTemplate BuildProtocolTemplate() {
    ReportTemplate layout;
    layout.blocks.push_back(TitleBlock());
    layout.blocks.push_back(HeadingFieldsBlock());
    layout.blocks.push_back(SectionBlock());
    layout.blocks.push_back(WorkplaceBlock());

    ReportBlock table1 = LevelBlock(
        1, "Фоновая напряженность электрического поля в диапазоне частот 45 Гц - 55 Гц , В/м", 5,
        "Допустимый  уровень (п. 5.2 прило-жения 3 СанПиН 2.2.2/2.4.1340)", {.height = 5, .stretchC4 = true});
    table1.footer = NoteFooter(
        "Если на рабочем месте интенсивность электрического поля превышает 25 В/м, гигиеническая оценка "
        "соответствия рабочего места нормам проводится по фоновому уровню электрического поля промышленной частоты "
        "(в соответствии с п. 5.2 приложения 3 СанПин 2.2.2/2.4.1340-03).");
    layout.blocks.push_back(std::move(table1));

    layout.blocks.push_back(LevelBlock(2,
                                       "Напряженность электрического поля в диапазоне частот 5 Гц – 2 кГц с "
                                       "вырезанной полосой частот 45 Гц – 55 Гц (СанПиН 2.2.2/2.4.2620—10), В/м",
                                       11, kSameNorm, {.height = 5}));
    layout.blocks.push_back(
        LevelBlock(3, "Напряженность электрического поля в диапазоне 2-400кГц, В/м", 5, kSameNorm, {.height = 5}));

    ReportBlock table4 =
        LevelBlock(4, "Фоновая плотность магнитного потока в диапазоне частот 45 Гц – 55 Гц ", 5,
                   "Допустимые значения (табл.3 прил.2  СанПиН 2.2.2/2.4.1340)", {.height = 10, .stretchC4 = true});
    table4.footer = NoteFooter(
        "Если на рабочем месте интенсивность магнитного поля превышает 250 нТл, гигиеническая оценка соответствия "
        "рабочего места нормам проводится по фоновому уровню индукции магнитного поля промышленной частоты (в "
        "соответствии с п. 5.2 приложения 3 СанПин 2.2.2/2.4.1340-03).");
    layout.blocks.push_back(std::move(table4));

    layout.blocks.push_back(LevelBlock(5,
                                       "Плотность магнитного потока в диапазоне частот 5 Гц – 2 кГц с вырезанной "
                                       "полосой частот 45 Гц – 55 Гц (СанПиН 2.2.2/2.4.2620—10), нТл",
                                       9, kSameNorm, {.height = 13, .centreC2 = true}));
    layout.blocks.push_back(LevelBlock(6, "Плотность магнитного потока в диапазоне 2-400 кГц, нТл  ", 5, kSameNorm,
                                       {.height = 5, .stretchC4 = true}));
    layout.blocks.push_back(LevelBlock(7, "Напряженность электростатического поля, кВ/м", 5, kSameNorm,
                                       {.height = 5, .stretchC4 = true, .fixedC4 = "15"}));
    layout.blocks.push_back(LuminanceBlock());
    layout.blocks.push_back(ClosingBlock());
    return layout;
}

}  // namespace

const ReportTemplate& ProtocolTemplate() {
    static const ReportTemplate layout = BuildProtocolTemplate();
    return layout;
}

int FirstDataRow(int tableIndex) {
    return tableIndex >= 1 && tableIndex <= 7 ? 2 : 1;
}

std::string HeadingDataSet::GetValue(std::string_view field) {
    if (field.empty()) return {};
    switch (field.front()) {
        case 'E':
        case 'C':
        case 'M':
        case 'D': {
            const auto found = data_.fields.find(field);
            return found == data_.fields.end() ? std::string() : found->second;
        }
        default:
            return {};
    }
}

int ResultTableDataSet::RowCount(int table) const {
    if (table < 0 || table >= kProtocolTableCount) return 0;
    return static_cast<int>(data_.tables[table].size());
}

void ResultTableDataSet::First() {
    position_.row = FirstDataRow(position_.gridIndex);
}

bool ResultTableDataSet::Eof() {
    if (position_.row < RowCount(position_.gridIndex)) return false;
    if (position_.gridIndex <= 8) {
        ++position_.gridIndex;
        position_.row = FirstDataRow(position_.gridIndex);
    }
    return true;
}

std::string ResultTableDataSet::GetValue(std::string_view field) {
    if (field.size() < 2) return {};
    const auto column = TryStrToInt(field.substr(1));
    if (!column || *column < 0) return {};
    if (position_.row < 0 || position_.row >= RowCount(position_.gridIndex)) return {};
    const auto& row = data_.tables[position_.gridIndex][position_.row];
    return *column < static_cast<int>(row.size()) ? row[*column] : std::string();
}

ProtocolDataSources::ProtocolDataSources(ProtocolReportData data)
    : data_(std::move(data)), heading_(data_), tables_(data_, position_) {
    sources_.Add(kHeadingSourceName, heading_);
    for (const char* name : kTableSourceNames) sources_.Add(name, tables_);
}

PreparedReport PrepareProtocol(ReportDataSources& sources, ReportTablePosition& position) {
    position.gridIndex = 0;
    position.row = 0;
    return PrepareReport(ProtocolTemplate(), sources);
}

void ExportProtocolPdf(const ProtocolReportData& data, const std::string& path) {
    ProtocolDataSources sources(data);
    ExportPdf(PrepareProtocol(sources.Sources(), sources.Position()), path);
}

void ShowProtocolPreview(const ProtocolReportData& data, QWidget* parent) {
    ProtocolDataSources sources(data);
    ReportPreviewDialog preview(PrepareProtocol(sources.Sources(), sources.Position()), parent);
    const auto number = data.fields.find("Edit0");
    preview.SetPdfFileName(ProtocolPdfFileName(number != data.fields.end() ? number->second : std::string()));
    preview.exec();
}

}  // namespace zorvex::report
