#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "protocol/ProtocolCodec.h"

using namespace zorvex;

namespace {

const char* const kControls[] = {"Edit0", "Edit1", "Edit2", "Edit3",       "Edit4",        "Memo5",
                                 "Memo6", "Memo7", "Edit8", "ComboBoxEx9", "ComboBoxEx10", "Memo11"};

// Fields 0..11 holding `texts`, the date 5 March 2010.
TProtocolFields Fields(const std::vector<std::string>& texts) {
    TProtocolFields fields;
    for (std::size_t i = 0; i < texts.size(); ++i) fields.SetFieldText(kControls[i], texts[i]);
    fields.SetDate(EncodeDate(2010, 3, 5));
    return fields;
}

std::vector<std::string> TextsOf(const IProtocolFields& fields) {
    std::vector<std::string> texts;
    for (const char* control : kControls) texts.push_back(*fields.FieldText(control));
    return texts;
}

// The created tables with table 0 cut to 3 columns and 2 rows.
TResultTables Tables() {
    TResultTables tables = CreatedResultTables();
    tables[0].Resize(3, 2);
    return tables;
}

}  // namespace

TEST(ProtocolCodec, FieldsEncodeByteForByte) {
    const TProtocolFields fields = Fields({"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L"});
    EXPECT_EQ(EncodeConsts(fields), "A$$$B$$$C$$$05.03.2010$$$D$$$E$$$F$$$G$$$H$$$I$$$J$$$K$$$L$$$");
}

TEST(ProtocolCodec, TableEncodesByteForByteAndDecodesBack) {
    TResultTables tables = Tables();
    tables[0].Cell(0, 0) = "№ РМ";
    tables[0].Cell(1, 0) = "x";
    tables[0].Cell(0, 1) = "1";
    tables[0].Cell(1, 1) = " ";
    tables[0].Cell(2, 1) = "3";
    tables[1].Cell(4, 4) = "z";
    const std::string encoded = EncodeTabData(tables);
    const std::vector<std::string> tableTexts = SplitTexts(encoded, "###");
    ASSERT_EQ(tableTexts.size(), 10u);
    EXPECT_EQ(tableTexts[0], "№ РМ$$$x$$$%%%1$$$ $$$3");
    EXPECT_EQ(tableTexts[9], "$$$$$$$$$$$$%%%$$$$$$$$$$$$%%%$$$$$$$$$$$$%%%$$$$$$$$$$$$%%%$$$$$$$$$$$$");

    TResultTables decoded = Tables();
    decoded[0].Cell(2, 0) = "built";  // every stored cell replaces the built one
    DecodeTabData(encoded, decoded);
    for (int i = 0; i < kResultTableCount; ++i) EXPECT_EQ(decoded[i].cells, tables[i].cells) << i;
}

TEST(ProtocolCodec, StoredCellsBeyondTheTablesAreNotApplied) {
    TResultTables decoded = Tables();
    DecodeTabData("a$$$b$$$c$$$d%%%e%%%f%%%g", decoded);
    EXPECT_EQ(decoded[0].cells, (std::vector<std::string>{"a", "b", "c", "e", "", ""}));
}

TEST(ProtocolCodec, AllFieldsComeBackUnchanged) {
    const std::vector<std::string> texts = {
        " 12 ",
        "ООО «Ромашка» ИНН 7700",
        "Петров",
        "Контроль",
        "ЦГСЭН",
        "ИЭП-05 (зав. №1, рег. №2)\r\nП3-80 (зав. №3, рег. №4)\r\nП3-81 (зав. №5, рег. №6)",
        "СанПиН 2.2.2/2.4.1340-03",
        "Бухгалтерия 01",
        "г. Москва",
        "Иванов",
        "Сидоров",
        kDefaultConclusion};
    const TProtocolFields original = Fields(texts);

    TProtocolFields reopened;
    for (const char* control : kControls) reopened.SetFieldText(control, "old");
    DecodeConsts(EncodeConsts(original), reopened);
    EXPECT_EQ(TextsOf(reopened), texts);
    EXPECT_EQ(reopened.Date(), EncodeDate(2010, 3, 5));
    EXPECT_EQ(SplitTexts(*reopened.FieldText("Memo11"), "\r\n").size(), 6u);
}

TEST(ProtocolCodec, AnUnreadableDateStopsAfterTheFirstThreeItems) {
    TProtocolFields fields;
    fields.SetFieldText("Edit3", "kept");
    const TDateTime before = fields.Date();
    try {
        DecodeConsts("7$$$org$$$rep$$$2010-03-05$$$goal$$$x", fields);
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'2010-03-05' is not a valid date");
    }
    EXPECT_EQ(*fields.FieldText("Edit2"), "rep");
    EXPECT_EQ(*fields.FieldText("Edit3"), "kept");
    EXPECT_EQ(fields.Date(), before);
}

TEST(ProtocolCodec, ShortDates) {
    EXPECT_EQ(StrToShortDate("05.03.2010"), EncodeDate(2010, 3, 5));
    EXPECT_EQ(StrToShortDate(" 5.3.2010 "), EncodeDate(2010, 3, 5));
    for (const char* bad : {"", "31.02.2010", "05.03", "05/03/2010", "a.03.2010", "05.03.2010.1"})
        EXPECT_THROW(StrToShortDate(bad), EConvertError) << bad;
}

// What cannot come back unchanged is refused; everything else round-trips.
TEST(ProtocolCodec, TextsWithSeparatorsAreRefusedOthersRoundTrip) {
    struct Case {
        std::string text;
        bool fieldOk, cellOk;
    };
    const Case cases[] = {
        {"a$$$b", false, false}, {"abc$", false, false}, {"$abc", true, true}, {"a$$b", true, true},
        {"50%", true, false},    {"a%%%b", true, false}, {"№#", true, false},  {"a###b", true, false},
        {"%x", true, true},      {"#x", true, true},     {"", true, true},     {" ", true, true},
        {"a\r\nb", true, true},
    };
    for (const Case& c : cases) {
        TProtocolFields fields = Fields({"1", "org"});
        fields.SetFieldText("Memo6", c.text);
        TResultTables tables = Tables();
        const auto fieldProblem = CheckStorable(fields, tables);
        EXPECT_EQ(!fieldProblem, c.fieldOk) << "field [" << c.text << "]";
        if (c.fieldOk) {
            TProtocolFields back;
            DecodeConsts(EncodeConsts(fields), back);
            EXPECT_EQ(TextsOf(back), TextsOf(fields)) << c.text;
        } else {
            EXPECT_EQ(*fieldProblem,
                      "Поле «7. НТД, в соответствии с которой проводились измерения и оценка и давалось заключение»: "
                      "текст не может содержать «$$$» и не может оканчиваться знаком «$».");
        }

        for (const auto& [col, row] : {std::pair{0, 0}, {2, 0}, {2, 1}}) {
            TResultTables cellTables = Tables();
            cellTables[0].Cell(col, row) = c.text;
            cellTables[0].Cell(1, row) = "";
            const auto cellProblem = CheckStorable(Fields({}), cellTables);
            EXPECT_EQ(!cellProblem, c.cellOk) << "cell [" << c.text << "]";
            if (c.cellOk) {
                TResultTables back = Tables();
                DecodeTabData(EncodeTabData(cellTables), back);
                EXPECT_EQ(back[0].cells, cellTables[0].cells) << c.text;
            } else {
                EXPECT_EQ(*cellProblem, "Таблица «Результаты измерений уровней ЭМП», строка " +
                                            std::to_string(row + 1) + ", столбец " + std::to_string(col + 1) +
                                            ": текст не может содержать «$$$», «%%%» или «###» и не может "
                                            "оканчиваться знаком «$», «%» или «#».");
            }
        }
    }
}

// A character the database's code page lacks is refused, naming the field or
// the cell and the character; the characters the code page has pass.
TEST(ProtocolCodec, TextsOutsideTheCodePageAreRefusedNamingTheirPlace) {
    struct Case {
        std::string text;
        const char* character;  // "" when the text can be stored
    };
    const Case cases[] = {
        {"≤ 0.3", "«≤» (U+2264)"},
        {"ООО «Ромашка» № 5 — ёлка, 10 €", ""},
        {"мелькание\u200B", "«\u200B» (U+200B)"},  // an invisible space pasted with a text
        {"😀", "«😀» (U+1F600)"},
    };
    const std::string tail = " нельзя сохранить, он не входит в кодировку Windows-1251.";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TProtocolFields fields = Fields({});
        fields.SetFieldText("Edit0", c.text);
        const auto fieldProblem = CheckStorable(fields, Tables());
        TResultTables tables = Tables();
        tables[3].Cell(4, 2) = c.text;
        const auto cellProblem = CheckStorable(Fields({}), tables);
        if (*c.character == '\0') {
            EXPECT_FALSE(fieldProblem) << *fieldProblem;
            EXPECT_FALSE(cellProblem) << *cellProblem;
            continue;
        }
        ASSERT_TRUE(fieldProblem && cellProblem);
        EXPECT_EQ(*fieldProblem, std::string("Поле «ПРОТОКОЛ №»: символ ") + c.character + tail);
        EXPECT_EQ(*cellProblem, "Таблица «" + tables[3].caption + "», строка 3, столбец 5: символ " + c.character + tail);
    }
}
