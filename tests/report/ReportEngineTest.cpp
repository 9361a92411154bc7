#include <gtest/gtest.h>

#include <QStringList>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "report/ReportEngine.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/TempDir.h"

namespace zorvex::report {
namespace {

constexpr double kPageBottom = 297 - 10;
constexpr double kEps = 0.01;

ReportBlock OnceBlock(std::vector<ReportCell> cells, double height) {
    ReportBlock block;
    ReportBand band;
    band.height = height;
    band.cells = std::move(cells);
    block.body.push_back(std::move(band));
    return block;
}

// A table block over `source`: a 10 mm heading and 5 mm rows showing field "n".
ReportBlock TableBlock(const std::string& source) {
    ReportBlock block;
    block.dataSet = source;
    block.header.height = 10;
    block.header.cells.push_back(CellAt(10, 100, 0, 10).Text("Шапка").Box(kHeadingLine));
    ReportBand row;
    row.height = 5;
    row.cells.push_back(CellAt(10, 100, 0, 5).Field("n").Box(kDataLine));
    block.body.push_back(row);
    block.footer.height = 5;
    block.footer.cells.push_back(CellAt(10, 100, 0, 5).Text("Итог"));
    return block;
}

MemoryDataSet Numbered(int count) {
    std::vector<MemoryDataSet::Record> records;
    for (int i = 0; i < count; ++i) records.push_back({{"n", std::to_string(i)}});
    return MemoryDataSet(std::move(records));
}

std::string Joined(const PreparedCell& cell) {
    std::string text;
    for (const QString& line : cell.lines) text += line.toStdString();
    return text;
}

const PreparedCell* FindCell(const PreparedPage& page, const std::string& text) {
    for (const PreparedCell& cell : page.cells)
        if (Joined(cell) == text) return &cell;
    return nullptr;
}

TEST(ReportEngine, WrapsLongTextAndGrowsTheRowKeepingFramesClosed) {
    const std::string text =
        "Тип, номер (инвентарный номер) монитора и периферийных устройств на рабочем месте пользователя";
    ReportTemplate layout;
    layout.blocks.push_back(
        OnceBlock({CellAt(10, 40, 0, 6).Text(text).Box(kHeadingLine),
                   CellAt(40, 100, 0, 6).Text("рядом").Box(kHeadingLine), CellAt(10, 100, 6, 5).Text("ниже")},
                  11));
    ReportDataSources sources;
    const PreparedReport report = PrepareReport(layout, sources);

    ASSERT_EQ(report.pages.size(), 1u);
    const PreparedPage& page = report.pages[0];
    ASSERT_EQ(page.cells.size(), 3u);
    const PreparedCell& wrapped = page.cells[0];
    const PreparedCell& beside = page.cells[1];
    const PreparedCell& below = page.cells[2];
    EXPECT_GE(wrapped.lines.size(), 4u);
    EXPECT_EQ(Joined(wrapped), text) << "the lines together are the text, nothing lost or added";
    EXPECT_GE(wrapped.height, wrapped.lines.size() * wrapped.lineHeight);
    EXPECT_NEAR(beside.height, wrapped.height, kEps) << "the row neighbour grows with the wrapped cell";
    EXPECT_NEAR(below.top, wrapped.top + wrapped.height, kEps) << "what lies below moves down";
}

struct WrapCase {
    const char* name;
    std::string text;
    double width;
    std::vector<std::string> lineStarts;  // some line begins with each
    bool hyphenAdded;
};

TEST(ReportEngine, LineBreaksKeepTheTextReadable) {
    const std::vector<WrapCase> cases = {
        {"word too wide is hyphenated", "Местоположение РМ", 20, {"Местопо"}, true},
        {"break after an inner hyphen", "Тип мо-нитора", 16, {"нитора"}, false},
        {"explicit line breaks", "первая\r\nвторая\nтретья", 100, {"первая", "вторая", "третья"}, false},
        {"leading blanks stay", "   12", 50, {"   12"}, false},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.name);
        ReportTemplate layout;
        layout.blocks.push_back(OnceBlock({CellAt(10, 10 + c.width, 0, 5).Text(c.text)}, 5));
        ReportDataSources sources;
        const PreparedReport report = PrepareReport(layout, sources);
        const PreparedCell& cell = report.pages.at(0).cells.at(0);
        for (const std::string& start : c.lineStarts) {
            EXPECT_TRUE(std::any_of(cell.lines.begin(), cell.lines.end(), [&](const QString& line) {
                return line.toStdString().starts_with(start);
            })) << start;
        }
        std::string rejoined = Joined(cell);
        std::string plain = c.text;
        const auto hyphens = std::count(rejoined.begin(), rejoined.end(), '-');
        EXPECT_EQ(hyphens - std::count(plain.begin(), plain.end(), '-'), c.hyphenAdded ? 1 : 0);
        for (std::string* text : {&rejoined, &plain}) {
            std::erase(*text, '-');
            std::erase(*text, '\r');
            std::erase(*text, '\n');
        }
        EXPECT_EQ(rejoined, plain) << "nothing lost";
    }
}

TEST(ReportEngine, TableContinuesOnTheNextPageUnderItsRepeatedHeading) {
    MemoryDataSet rows = Numbered(100);
    ReportDataSources sources;
    sources.Add("rows", rows);
    ReportTemplate layout;
    layout.blocks.push_back(TableBlock("rows"));

    const PreparedReport report = PrepareReport(layout, sources);

    ASSERT_EQ(report.pages.size(), 2u);
    std::vector<std::string> printed;
    for (const PreparedPage& page : report.pages) {
        const PreparedCell* header = FindCell(page, "Шапка");
        ASSERT_NE(header, nullptr) << "every page of the table starts with its heading";
        EXPECT_NEAR(header->top, 10, kEps);
        for (const PreparedCell& cell : page.cells) {
            EXPECT_LE(cell.top + cell.height, kPageBottom + kEps) << Joined(cell);
            if (&cell != header && Joined(cell) != "Итог") printed.push_back(Joined(cell));
        }
    }
    // 277 mm of page: the heading and 53 rows of 5 mm on page one.
    EXPECT_EQ(Joined(report.pages[1].cells[1]), "53");
    std::vector<std::string> expected;
    for (int i = 0; i < 100; ++i) expected.push_back(std::to_string(i));
    EXPECT_EQ(printed, expected) << "each record once, in order";
    EXPECT_NE(FindCell(report.pages[1], "Итог"), nullptr);
}

TEST(ReportEngine, RowTallerThanAPageContinuesOnTheNextWithoutLosingLines) {
    std::string text;
    for (int i = 0; i < 120; ++i) text += "строка " + std::to_string(i) + "\r\n";
    text += "конец";
    MemoryDataSet record({{{"n", text}}});
    ReportDataSources sources;
    sources.Add("rows", record);
    ReportTemplate layout;
    ReportBlock block = TableBlock("rows");
    block.body[0].cells.push_back(CellAt(100, 150, 0, 5).Text("рядом").Middle().Box(kDataLine));
    layout.blocks.push_back(block);

    const PreparedReport report = PrepareReport(layout, sources);

    ASSERT_GE(report.pages.size(), 2u);
    std::vector<std::string> lines;
    for (const PreparedPage& page : report.pages) {
        EXPECT_NE(FindCell(page, "Шапка"), nullptr);
        for (const PreparedCell& cell : page.cells) {
            EXPECT_LE(cell.top + cell.height, kPageBottom + kEps);
            if (cell.left == 10 && Joined(cell) != "Шапка" && Joined(cell) != "Итог")
                for (const QString& line : cell.lines) lines.push_back(line.toStdString());
        }
    }
    ASSERT_EQ(lines.size(), 121u) << "every line once";
    EXPECT_EQ(lines[0], "строка 0");
    EXPECT_EQ(lines[120], "конец");
    EXPECT_NE(FindCell(report.pages[0], "рядом"), nullptr) << "the neighbour's text stays where it begins";
}

TEST(ReportEngine, HeadingStaysWithTheFirstRowAndTheFooterWithTheLast) {
    struct Case {
        const char* name;
        double filler;  // mm taken on page one before the table
        std::vector<std::string> pageOne, pageTwo;
    };
    const Case cases[] = {
        // The heading would fit below 265 mm, its first row would not.
        {"heading moves with the first row", 265, {}, {"Шапка", "0", "1", "Итог"}},
        // The heading and both rows fit below 255 mm, the footer would not.
        {"last row moves with the footer", 255, {"Шапка", "0"}, {"Шапка", "1", "Итог"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDataSet rows = Numbered(2);
        ReportDataSources sources;
        sources.Add("rows", rows);
        ReportTemplate layout;
        layout.blocks.push_back(OnceBlock({CellAt(10, 100, 0, c.filler).Text("заполнитель")}, c.filler));
        layout.blocks.push_back(TableBlock("rows"));

        const PreparedReport report = PrepareReport(layout, sources);

        ASSERT_EQ(report.pages.size(), 2u);
        std::vector<std::string> pageOne, pageTwo;
        for (const PreparedCell& cell : report.pages[0].cells)
            if (Joined(cell) != "заполнитель") pageOne.push_back(Joined(cell));
        for (const PreparedCell& cell : report.pages[1].cells) pageTwo.push_back(Joined(cell));
        EXPECT_EQ(pageOne, c.pageOne);
        EXPECT_EQ(pageTwo, c.pageTwo);
    }
}

TEST(ReportEngine, BlockStartingANewPageNeverLeavesABlankPage) {
    struct Case {
        const char* name;
        bool firstStartsNewPage, secondStartsNewPage;
        std::size_t pages;
        std::size_t secondOnPage;
    };
    const Case cases[] = {
        {"second block on a fresh page", false, true, 2, 1},
        {"first block is on a fresh page already", true, false, 1, 0},
        {"no break asked", false, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReportTemplate layout;
        layout.blocks.push_back(OnceBlock({CellAt(10, 100, 0, 5).Text("первый")}, 5));
        layout.blocks.push_back(OnceBlock({CellAt(10, 100, 7, 5).Text("второй")}, 12));
        layout.blocks[0].startsNewPage = c.firstStartsNewPage;
        layout.blocks[1].startsNewPage = c.secondStartsNewPage;
        ReportDataSources sources;
        const PreparedReport report = PrepareReport(layout, sources);
        ASSERT_EQ(report.pages.size(), c.pages);
        const PreparedCell* second = FindCell(report.pages[c.secondOnPage], "второй");
        ASSERT_NE(second, nullptr);
        if (c.secondStartsNewPage) {
            EXPECT_NEAR(second->top, 10 + 7, kEps) << "placed from the top margin";
        }
    }
}

// Records the calls the engine makes, for the read-once contract that the
// protocol's chained table sources rely on.
class RecordingDataSet final : public ReportDataSet {
public:
    explicit RecordingDataSet(int count) : inner_(Numbered(count)) {}
    void First() override {
        calls += "F";
        inner_.First();
    }
    void Next() override {
        calls += "N";
        inner_.Next();
    }
    bool Eof() override {
        calls += "E";
        return inner_.Eof();
    }
    std::string GetValue(std::string_view field) override { return inner_.GetValue(field); }
    std::string calls;

private:
    MemoryDataSet inner_;
};

TEST(ReportEngine, ReadsEachBlockSourceOnceWithOneEndTestPerStep) {
    RecordingDataSet many(60), none(0);
    ReportDataSources sources;
    sources.Add("many", many);
    sources.Add("none", none);
    ReportTemplate layout;
    layout.blocks.push_back(TableBlock("many"));  // crosses a page break
    layout.blocks.push_back(TableBlock("none"));

    const PreparedReport report = PrepareReport(layout, sources);

    std::string expected = "FE";
    for (int i = 0; i < 60; ++i) expected += "NE";
    EXPECT_EQ(many.calls, expected);
    EXPECT_EQ(none.calls, "FE");
    EXPECT_NE(FindCell(report.pages.back(), "Шапка"), nullptr) << "an empty table still shows its heading";
}

TEST(ReportEngine, ReportsMissingSources) {
    ReportDataSources sources;
    ReportTemplate named;
    named.blocks.push_back(OnceBlock({CellAt(10, 50, 0, 5).Field("absent", "Edit0")}, 5));
    EXPECT_THROW(PrepareReport(named, sources), Exception);
    ReportTemplate unbound;
    unbound.blocks.push_back(OnceBlock({CellAt(10, 50, 0, 5).Field("Edit0")}, 5));
    EXPECT_THROW(PrepareReport(unbound, sources), Exception);
}

// Files shorter than `bytes` can be written while it lives: a write past it
// fails as on a full disk (EFBIG instead of ENOSPC), also for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

class PdfExport : public ::testing::Test {
protected:
    PdfExport() {
        ReportTemplate layout;
        layout.blocks.push_back(OnceBlock({CellAt(10, 100, 0, 5).Text("Документ").Box(kDataLine)}, 5));
        ReportDataSources sources;
        report = PrepareReport(layout, sources);
    }
    ~PdfExport() override { SetMainDatabase(nullptr); }

    // The message of the export's failure; "" when it did not fail.
    std::string FailureOf(const std::string& path) const {
        try {
            ExportPdf(report, path);
        } catch (const Exception& error) {
            return error.Message();
        }
        return "";
    }

    test::TempDir dir;
    PreparedReport report;
};

TEST_F(PdfExport, ReplacesAFileWithTheWholeDocument) {
    const std::string path = dir.File("out.pdf");
    test::WriteFileBytes(PathFromUtf8(path), "an older, longer file that must not show through at the end");
    ExportPdf(report, path);
    const std::string bytes = test::ReadFileBytes(PathFromUtf8(path));
    EXPECT_TRUE(bytes.starts_with("%PDF-"));
    EXPECT_NE(bytes.find("%%EOF", bytes.size() - 8), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no file left beside it";
}

TEST_F(PdfExport, AFailedExportSaysSoAndLeavesTheTargetAsItWas) {
    SetMainDatabase(OpenDatabase(dir.File("data.db")));
    const std::string database = dir.File("data.db");
    const std::string existing = dir.File("old.pdf");
    test::WriteFileBytes(PathFromUtf8(existing), "%PDF-1.4 the previous document");
    std::filesystem::create_directory(dir.path() / "folder");
    struct Case {
        const char* name;
        std::string path;
        std::string message;  // how the error begins
        bool limitFileSize = false;
    };
    const Case cases[] = {
        {"a device that is always full", "/dev/full", "Не удалось записать файл «/dev/full»"},
        {"a directory", dir.File("folder"), "«" + dir.File("folder") + "» — каталог"},
        {"the main database", database, "Файл «" + database + "» — основная база данных"},
        {"the disk fills up while writing", existing, "Не удалось записать файл «" + existing + "»", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool regular = std::filesystem::is_regular_file(PathFromUtf8(c.path));
        const std::string before = regular ? test::ReadFileBytes(PathFromUtf8(c.path)) : "";
        std::string message;
        {
            std::optional<FileSizeLimit> limit;
            if (c.limitFileSize) limit.emplace(1000);
            message = FailureOf(c.path);
        }
        EXPECT_TRUE(message.starts_with(c.message)) << message;
        if (regular) {
            EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(c.path)), before);
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_FALSE(Utf8FromPath(entry.path().filename()).starts_with("."))
            << "left behind: " << Utf8FromPath(entry.path());
}

}  // namespace
}  // namespace zorvex::report
