#include <gtest/gtest.h>

#include <QPrintPreviewWidget>
#include <QPrinter>
#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/Paths.h"
#include "report/ProtocolReport.h"
#include "report/ReportPreview.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/ProcessRun.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace zorvex::report {
namespace {

// Protocol data as the editor hands it over: three workplaces (3, 7, 12)
// and the ten result tables in the shapes the editor builds, cells typed in
// where the editor leaves them to the user.
ProtocolReportData ThreeWorkplaceProtocol() {
    ProtocolReportData data;
    data.fields = {
        {"Edit0", " 12/2026 "},
        {"Edit1", "ООО «Северный завод», административный корпус"},
        {"Edit2", "Инженер по охране труда Петрова А. В."},
        {"DateTimePicker1", "05.03.2010"},
        {"Edit3", "Производственный контроль"},
        {"Edit4", "Испытательная лаборатория ООО «Лаборатория»"},
        {"Memo5",
         "Измеритель полей, зав. № 101, свидетельство о поверке № 1-22 до 01.02.2011\r\n"
         "Люксметр-яркомер, зав. № 55, свидетельство о поверке № 3-44 до 01.05.2011\r\n"
         "Термогигрометр, зав. № 7"},
        {"Memo6", "СанПиН 2.2.2/2.4.1340-03\r\nСанПиН 2.2.2/2.4.2620-10"},
        {"Memo7", "Бухгалтерия, код 01\r\nОтдел кадров, код 02"},
        {"Edit8", "г. Северный, ул. Заводская, 1"},
        {"ComboBoxEx9", "Иванов И. И."},
        {"ComboBoxEx10", "Сидоров С. С."},
        {"Memo11",
         "Уровни ЭМП на рабочих местах соответствуют допустимым уровням.\r\n"
         "При визуальном контроле рабочих мест отраженная блесткость отсутствует.\r\n"
         "Оценка условий труда по фактору «Уровень электромагнитных полей на рабочих местах, "
         "оборудованных \r\n ПЭВМ» на всех РМ соответствует классу 2.\r\n"
         "Оценка условий труда по фактору «Неравномерность распределения яркости  в поле зрения "
         "пользователя \r\nПЭВМ» на РМ  соответствует классу 2."},
    };
    const std::vector<std::string> workplaces = {"3", "7", "12"};
    auto& t0 = data.tables[0];
    t0.push_back({"№ РМ", "Категория работ", "Местоположение РМ",
                  "Тип, номер (инвентарный номер) монитора и периферийных устройств на РМ",
                  "Тип, инвентарный номер защитного фильтра"});
    t0.push_back({"3", "В", "Каб. 101", "Samsung 710N, инв. 0012; принтер HP 1020", ""});
    t0.push_back({"7", "В", "Каб. 102", "LG 1730S, инв. 0044", " "});
    t0.push_back({"12", "Б", "Каб. 205", "Acer AL1716, инв. 0101", "нет"});

    const char* norms[] = {"",    "500", "25", "2.5", "Отсутствие временной нестабильности изображения (мелькание)",
                           "250", "25",  "15"};
    for (int table = 1; table <= 7; ++table) {
        auto& t = data.tables[table];
        t.push_back({"№ РМ", "Измеренное значение на уровне по высоте, м", "", "", "норматив"});
        t.push_back({"", "0.5", "1.0", "1.5", ""});
        for (std::size_t w = 0; w < workplaces.size(); ++w) {
            const std::string value = std::to_string(table) + "." + std::to_string(w) + "1";
            if (table == 7)  // typed by the user; the norm cell holds something else than the document prints
                t.push_back({workplaces[w], "1.10", "1.20", "1.30", "999"});
            else
                t.push_back({workplaces[w], value, w == 1 ? "" : value, value, norms[table]});
        }
    }
    auto& t8 = data.tables[8];
    t8.push_back({"№ РМ", "Измеренное значение", "Допустимый уровень (таблица 13 Р 2.2.2006-05)"});
    for (const auto& w : workplaces) t8.push_back({w, "1.5", "77"});
    auto& t9 = data.tables[9];
    t9.push_back({"", "", "", "", ""});
    for (const auto& w : workplaces) t9.push_back({w, "", "", "", ""});
    t9.push_back({"", "", "", "", ""});
    return data;
}

std::string Tool(const std::string& program, const std::vector<std::string>& args) {
    const auto result = test::RunProcess("/usr/bin/" + program, args, std::filesystem::current_path());
    EXPECT_EQ(result.status, 0) << program << ": " << result.err;
    return result.out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string CollapseBlanks(const std::string& text) {
    return std::regex_replace(text, std::regex("[ \t]+"), " ");
}

// What survives of a text in extracted PDF text whatever the line breaks:
// no blanks, no hyphens (a line break may add or remove them).
std::string Letters(std::string text) {
    std::erase_if(text, [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\f' || c == '-'; });
    return text;
}

// The texts each block prints, in print order, as the protocol form has them.
const std::vector<std::vector<std::string>> kFixedTexts = {
    {"ПРОТОКОЛ  №",
     "инструментальных измерений и оценки уровней  электромагнитных полей на рабочих местах, оборудованных  ПЭВМ "
     "и неравномерно-сти распределения яркости в поле зрения пользователя ПЭВМ"},
    {"1.", "Организация, объект, на котором проводились измерения и оценка", "2",
     "Представитель обследуемого объекта, присутствующий при проведении измерений и оценки", "3",
     "Дата  проведения измерений и оценки", "4", "Цель проведения измерений и оценки", "5",
     "Наименование организации,  привлеченной к выполнению измерений и оценки", "6",
     "Средства измерений и сведения о Государственной поверке", "7",
     "НТД, в соответствии с которой проводились измерения и оценка и давалось заключение", "8",
     "Наименование и коды подразделений и рабочих мест ", "9", "Место проведения измерений и оценки"},
    {"10 Результаты измерений уровней ЭМП"},
    {"Характеристика исследуемых рабочих мест", "№ РМ", "Категория\nработ", "Местоположение РМ",
     "Тип, номер (инвентарный номер) мо-нитора и периферийных устройств на РМ",
     "Тип, инвентарный номер защитного фильтра"},
    {"Фоновая напряженность электрического поля в диапазоне частот 45 Гц - 55 Гц , В/м",
     "Измеренное значение на уровне по высоте, м", "Допустимый  уровень (п. 5.2 прило-жения 3 СанПиН 2.2.2/2.4.1340)",
     "0.5", "1.0", "1.5", "Примечание",
     "Если на рабочем месте интенсивность электрического поля превышает 25 В/м, гигиеническая оценка соответствия "
     "рабочего места нормам проводится по фоновому уровню электрического поля промышленной частоты (в "
     "соответствии с п. 5.2 приложения 3 СанПин 2.2.2/2.4.1340-03)."},
    {"Напряженность электрического поля в диапазоне частот 5 Гц – 2 кГц с вырезанной полосой частот 45 Гц – 55 Гц "
     "(СанПиН 2.2.2/2.4.2620—10), В/м",
     "Временные допустимые уровни ЭМП, создаваемые ПЭВМ на РМ  (табл.1 прил.2 СанПиН 2.2.2/2.4.1340)"},
    {"Напряженность электрического поля в диапазоне 2-400кГц, В/м"},
    {"Фоновая плотность магнитного потока в диапазоне частот 45 Гц – 55 Гц ",
     "Допустимые значения (табл.3 прил.2  СанПиН 2.2.2/2.4.1340)", "Примечание",
     "Если на рабочем месте интенсивность магнитного поля превышает 250 нТл, гигиеническая оценка соответствия "
     "рабочего места нормам проводится по фоновому уровню индукции магнитного поля промышленной частоты (в "
     "соответствии с п. 5.2 приложения 3 СанПин 2.2.2/2.4.1340-03)."},
    {"Плотность магнитного потока в диапазоне частот 5 Гц – 2 кГц с вырезанной полосой частот 45 Гц – 55 Гц "
     "(СанПиН 2.2.2/2.4.2620—10), нТл"},
    {"Плотность магнитного потока в диапазоне 2-400 кГц, нТл  "},
    {"Напряженность электростатического поля, кВ/м"},
    {"Неравномерность распределения яркости в поле зрения пользователя ПЭВМ, отн.ед. *", "Измеренное значение",
     "Допустимый уровень (таблица 13 Р 2.2.2006-05) ", "* - для работ III категории "},
    {"Измерения проводил инженер по испытаниям", "Начальник лаборатории по контролю ОВФП", "11. Заключение"},
};

// Where each table block begins in the page text, in print order, and where
// the closing block begins.
const std::vector<std::string> kTableStarts = {
    "Характеристика исследуемых рабочих мест",
    "Фоновая напряженность электрического поля",
    "Напряженность электрического поля в диапазоне частот 5 Гц",
    "Напряженность электрического поля в диапазоне 2-400кГц",
    "Фоновая плотность магнитного потока",
    "Плотность магнитного потока в диапазоне частот 5 Гц",
    "Плотность магнитного потока в диапазоне 2-400 кГц",
    "Напряженность электростатического поля",
    "Неравномерность распределения яркости в поле зрения",
    "Измерения проводил",
};

class ProtocolDocument : public ::testing::Test {
protected:
    void SetUp() override {
        pdf_ = dir_.File("protocol.pdf");
        ExportProtocolPdf(ThreeWorkplaceProtocol(), pdf_);
        layout_ = Tool("pdftotext", {"-layout", pdf_, "-"});
    }

    test::TempDir dir_;
    std::string pdf_;
    std::string layout_;
};

TEST_F(ProtocolDocument, PrintsEveryBlocksFixedTextsInOrder) {
    // Each template cell keeps its text exactly, double and trailing blanks included.
    std::vector<std::string> templateTexts;
    for (const ReportBlock& block : ProtocolTemplate().blocks) {
        auto collect = [&](const ReportBand& band) {
            for (const ReportCell& cell : band.cells)
                if (!cell.text.empty()) templateTexts.push_back(cell.text);
        };
        collect(block.header);
        for (const ReportBand& band : block.body) collect(band);
        collect(block.footer);
    }
    // In drawing order the document's text runs block after block.
    const std::string raw = Letters(Tool("pdftotext", {"-raw", pdf_, "-"}));
    std::size_t from = 0;
    for (const auto& block : kFixedTexts) {
        for (const std::string& text : block) {
            EXPECT_NE(std::find(templateTexts.begin(), templateTexts.end(), text), templateTexts.end()) << text;
            const std::size_t at = raw.find(Letters(text), from);
            ASSERT_NE(at, std::string::npos) << "missing or out of order: " << text;
            from = at + Letters(text).size();
        }
    }
}

TEST_F(ProtocolDocument, TableBlocksPrintTheWorkplacesAndTheFixedNorms) {
    const std::vector<std::string> lines = Lines(layout_);
    std::vector<std::size_t> starts;
    std::size_t line = 0;
    for (const std::string& title : kTableStarts) {
        while (line < lines.size() && CollapseBlanks(lines[line]).find(title) == std::string::npos) ++line;
        ASSERT_LT(line, lines.size()) << "block not found in order: " << title;
        starts.push_back(line);
    }
    // A row begins with its workplace number in the first column; the column
    // number row "1" comes first (the fixture has no workplace 1).
    const std::regex rowStart(R"(^[\s\f]{0,15}(\d+)(?![\d.]))");
    for (std::size_t table = 0; table + 1 < starts.size(); ++table) {
        SCOPED_TRACE(kTableStarts[table]);
        std::vector<std::string> numbers, lastColumn;
        for (std::size_t i = starts[table]; i < starts[table + 1]; ++i) {
            std::smatch match;
            if (!std::regex_search(lines[i], match, rowStart)) continue;
            numbers.push_back(match[1]);
            std::istringstream words(lines[i]);
            std::string word, last;
            while (words >> word) last = word;
            if (match[1] != "1") lastColumn.push_back(last);
        }
        // A table continued on the next page repeats its heading, "1" included.
        ASSERT_FALSE(numbers.empty());
        EXPECT_EQ(numbers.front(), "1");
        std::erase(numbers, "1");
        EXPECT_EQ(numbers, (std::vector<std::string>{"3", "7", "12"}));
        if (table == 7) {
            EXPECT_EQ(lastColumn, (std::vector<std::string>{"15", "15", "15"}));
        }
        if (table == 8) {
            EXPECT_EQ(lastColumn, (std::vector<std::string>{"3", "3", "3"}));
        }
    }
    EXPECT_EQ(layout_.find("999"), std::string::npos) << "the electrostatic block prints its own norm";
    EXPECT_EQ(layout_.find("77"), std::string::npos) << "the luminance block prints its own norm";
}

TEST_F(ProtocolDocument, SectionTenStartsAPageAndEveryPageIsA4) {
    std::vector<std::string> pages;
    std::istringstream in(layout_);
    for (std::string page; std::getline(in, page, '\f');) pages.push_back(page);
    ASSERT_GE(pages.size(), 2u);
    EXPECT_NE(CollapseBlanks(pages[0]).find("Место проведения измерений и оценки"), std::string::npos);
    EXPECT_EQ(pages[0].find("10 Результаты"), std::string::npos);
    EXPECT_NE(pages[1].find("10 Результаты измерений уровней ЭМП"), std::string::npos);
    // Multi-line fields print all their lines.
    EXPECT_NE(pages[0].find("Термогигрометр, зав. № 7"), std::string::npos);
    EXPECT_NE(CollapseBlanks(pages.back()).find("ПЭВМ» на РМ соответствует классу 2."), std::string::npos);

    const std::string info = Tool("pdfinfo", {"-f", "1", "-l", "99", pdf_});
    const std::regex pageSize(R"(Page\s+\d+ size:\s+([\d.]+) x ([\d.]+) pts)");
    int sized = 0;
    for (auto it = std::sregex_iterator(info.begin(), info.end(), pageSize); it != std::sregex_iterator(); ++it) {
        ++sized;
        EXPECT_NEAR(std::stod((*it)[1]), 595.28, 0.5);
        EXPECT_NEAR(std::stod((*it)[2]), 841.89, 0.5);
    }
    EXPECT_EQ(sized, static_cast<int>(pages.size()) - (pages.back().find_first_not_of(" \n") == std::string::npos));
    // Arial, or its metric twin where Arial is not installed.
    const std::string fonts = Tool("pdffonts", {pdf_});
    EXPECT_TRUE(fonts.find("LiberationSans") != std::string::npos || fonts.find("Arial") != std::string::npos) << fonts;
}

// Left edge (pt) of the first word `word` in the PDF, from pdftotext -bbox.
double WordLeft(const std::string& pdf, const std::string& word) {
    const std::string html = Tool("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
    const std::regex entry("<word xMin=\"([\\d.]+)\"[^>]*>" + word + "</word>");
    std::smatch match;
    if (!std::regex_search(html, match, entry)) return -1;
    return std::stod(match[1]);
}

TEST(ProtocolNumber, PrintsTheNumberUntrimmed) {
    test::TempDir dir;
    ProtocolReportData data = ThreeWorkplaceProtocol();
    data.fields["Edit0"] = "12/2026";
    ExportProtocolPdf(data, dir.File("trimmed.pdf"));
    data.fields["Edit0"] = "   12/2026 ";
    ExportProtocolPdf(data, dir.File("untrimmed.pdf"));

    const double trimmed = WordLeft(dir.File("trimmed.pdf"), "12/2026");
    const double untrimmed = WordLeft(dir.File("untrimmed.pdf"), "12/2026");
    ASSERT_GT(trimmed, 0);
    // Three blanks of a 10 pt bold font are about 8 pt.
    EXPECT_NEAR(untrimmed - trimmed, 8.3, 2.0);
}

TEST(ProtocolLayout, TextKeepsClearOfTheFramesAndNarrowHeadingsStayWhole) {
    test::TempDir dir;
    const std::string pdf = dir.File("protocol.pdf");
    ExportProtocolPdf(ThreeWorkplaceProtocol(), pdf);
    constexpr double kPtPerMm = 72 / 25.4;
    // The captions of the heading fields start at 25 mm, left-aligned.
    EXPECT_NEAR(WordLeft(pdf, "Организация,") / kPtPerMm - 25, 1.2, 0.1);

    // A heading word that fits only into the padding is not split for it.
    ProtocolDataSources sources(ThreeWorkplaceProtocol());
    const PreparedReport report = PrepareProtocol(sources.Sources(), sources.Position());
    std::vector<std::vector<QString>> category;
    for (const PreparedPage& page : report.pages)
        for (const PreparedCell& cell : page.cells)
            if (!cell.lines.empty() && cell.lines[0].startsWith(QStringLiteral("Катег"))) category.push_back(cell.lines);
    EXPECT_EQ(category, (std::vector<std::vector<QString>>{{QStringLiteral("Категория"), QStringLiteral("работ")}}));
}

TEST(ProtocolTemplateBinding, BlocksReadTheNamedSourcesInPrintOrder) {
    std::vector<std::string> blockSources;
    std::vector<std::string> headingFields;
    for (const ReportBlock& block : ProtocolTemplate().blocks) {
        if (!block.dataSet.empty()) blockSources.push_back(block.dataSet);
        auto check = [&](const ReportBand& band) {
            for (const ReportCell& cell : band.cells) {
                if (cell.field.empty()) continue;
                const std::string source = cell.dataSet.empty() ? block.dataSet : cell.dataSet;
                if (source == kHeadingSourceName) {
                    headingFields.push_back(cell.field);
                } else {
                    EXPECT_TRUE(std::regex_match(cell.field, std::regex("c[0-4]"))) << source << " " << cell.field;
                }
            }
        };
        check(block.header);
        for (const ReportBand& band : block.body) check(band);
        check(block.footer);
    }
    std::vector<std::string> expectedSources = {kHeadingSourceName};
    expectedSources.insert(expectedSources.end(), kTableSourceNames.begin(), kTableSourceNames.end());
    expectedSources.push_back(kHeadingSourceName);
    EXPECT_EQ(blockSources, expectedSources);
    // The editor fills exactly the names the template reads.
    std::sort(headingFields.begin(), headingFields.end());
    std::vector<std::string> named(kHeadingFieldNames.begin(), kHeadingFieldNames.end());
    std::sort(named.begin(), named.end());
    EXPECT_EQ(headingFields, named);
}

// The table sources read as the engine reads them, block after block.
std::vector<std::vector<std::string>> ReadTableBlocks(ProtocolDataSources& sources) {
    std::vector<std::vector<std::string>> blocks;
    for (const char* name : kTableSourceNames) {
        ReportDataSet* source = sources.Sources().Find(name);
        EXPECT_NE(source, nullptr) << name;
        std::vector<std::string> rows;
        source->First();
        while (!source->Eof()) {
            rows.push_back(source->GetValue("c0") + "|" + source->GetValue("c1") + "|" + source->GetValue("c9"));
            source->Next();
        }
        blocks.push_back(rows);
    }
    return blocks;
}

TEST(ProtocolSources, NineTableBlocksReadTablesZeroToEightInTurn) {
    ProtocolReportData data;
    // Tables of different lengths, one without data rows: each block still gets its own.
    data.tables[0] = {{"№ РМ", "Категория работ"}, {"1", "А"}, {"2", "Б"}};
    for (int t = 1; t <= 7; ++t) {
        data.tables[t] = {{"№ РМ", "x"}, {"", "0.5"}};
        for (int r = 0; r < t % 3; ++r) data.tables[t].push_back({std::to_string(t * 10 + r), "v"});
    }
    data.tables[8] = {{"№ РМ", "Измеренное значение"}, {"5", "1.5"}};
    data.tables[9] = {{"", ""}, {"99", "нет"}};
    ProtocolDataSources sources(data);

    const auto blocks = ReadTableBlocks(sources);

    const std::vector<std::vector<std::string>> expected = {
        {"1|А|", "2|Б|"}, {"10|v|"}, {"20|v|", "21|v|"}, {}, {"40|v|"}, {"50|v|", "51|v|"}, {}, {"70|v|"}, {"5|1.5|"},
    };
    EXPECT_EQ(blocks, expected);
    EXPECT_EQ(sources.Position().gridIndex, 9) << "table 9 is never printed";

    // Preparing again starts from table 0, so the preview can be built twice.
    sources.Position() = {9, 1};
    const PreparedReport report = PrepareProtocol(sources.Sources(), sources.Position());
    EXPECT_EQ(sources.Position().gridIndex, 9);
    bool sawFirstWorkplace = false;
    for (const PreparedPage& page : report.pages)
        for (const PreparedCell& cell : page.cells)
            if (cell.lines.size() == 1 && cell.lines[0] == "А") sawFirstWorkplace = true;
    EXPECT_TRUE(sawFirstWorkplace);
}

TEST(ProtocolSources, HeadingSourceAnswersByTheFieldNamesFirstLetter) {
    ProtocolReportData data;
    data.fields = {{"Edit0", " 7 "},
                   {"ComboBoxEx9", "Иванов"},
                   {"Memo5", "a\r\nb"},
                   {"DateTimePicker1", "05.03.2010"},
                   {"Xtra", "скрыто"}};
    HeadingDataSet heading(data);
    const std::pair<const char*, const char*> cases[] = {
        {"Edit0", " 7 "},
        {"ComboBoxEx9", "Иванов"},
        {"Memo5", "a\r\nb"},
        {"DateTimePicker1", "05.03.2010"},
        {"Edit4", ""},
        {"Xtra", ""},
        {"", ""},
    };
    for (const auto& [field, value] : cases) EXPECT_EQ(heading.GetValue(field), value) << field;
    heading.First();
    EXPECT_FALSE(heading.Eof());
    heading.Next();
    EXPECT_TRUE(heading.Eof()) << "one record";
}

TEST(ProtocolPreview, ShowsThePreparedPagesAndSavesThemAsPdf) {
    ProtocolDataSources sources(ThreeWorkplaceProtocol());
    ReportPreviewDialog preview(PrepareProtocol(sources.Sources(), sources.Position()));
    const int pages = static_cast<int>(preview.Report().pages.size());
    ASSERT_GE(pages, 2);

    auto* widget = preview.findChild<QPrintPreviewWidget*>();
    ASSERT_NE(widget, nullptr);
    widget->updatePreview();
    EXPECT_EQ(widget->pageCount(), pages);
    widget->updatePreview();  // a repaint after page setup reads no source again
    EXPECT_EQ(widget->pageCount(), pages);
    EXPECT_TRUE(preview.isModal());

    ASSERT_NE(preview.SavePdfAction(), nullptr);
    EXPECT_EQ(preview.SavePdfAction()->text(), QStringLiteral("Сохранить в PDF"));
    test::TempDir dir;
    auto prompts = std::make_shared<test::ScriptedPrompts>();
    prompts->fileAnswers.push_back(dir.File("saved.pdf"));
    PromptsScope scope(prompts);
    preview.SavePdfAction()->trigger();
    const std::string info = Tool("pdfinfo", {dir.File("saved.pdf")});
    EXPECT_NE(info.find("Pages:           " + std::to_string(pages)), std::string::npos) << info;
    EXPECT_TRUE(prompts->Messages().empty());

    // Aimed at the program's own database, the save is refused and the user told.
    const std::string database = dir.File("data.db");
    SetMainDatabase(OpenDatabase(database));
    const std::string before = test::ReadFileBytes(PathFromUtf8(database));
    prompts->fileAnswers.push_back(database);
    preview.SavePdfAction()->trigger();
    SetMainDatabase(nullptr);
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_NE(prompts->Messages()[0].find("«" + database + "» — основная база данных"), std::string::npos)
        << prompts->Messages()[0];
    EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Error);
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(database)), before);

    // The print dialog's "print to file" aimed at the database: refused before Qt opens the file.
    SetMainDatabase(OpenDatabase(database));
    preview.printer()->setOutputFileName(QString::fromStdString(database));
    ASSERT_EQ(preview.printer()->outputFormat(), QPrinter::PdfFormat);
    emit preview.paintRequested(preview.printer());
    SetMainDatabase(nullptr);
    ASSERT_EQ(prompts->Messages().size(), 2u);
    EXPECT_NE(prompts->Messages()[1].find("основная база данных"), std::string::npos) << prompts->Messages()[1];
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(database)), before);
    EXPECT_TRUE(preview.printer()->outputFileName().isEmpty());
}

}  // namespace
}  // namespace zorvex::report
