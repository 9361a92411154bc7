#include <gtest/gtest.h>

#include <QAction>
#include <filesystem>
#include <memory>

#include "base/Paths.h"
#include "base/SaveLocation.h"
#include "report/ReportPreview.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace zorvex::report {
namespace {

TEST(ProtocolPdfFileName, IsMadeOfTheProtocolNumber) {
    const struct {
        const char* number;
        const char* expected;
    } cases[] = {
        {"77", "Протокол № 77"}, {"  12/3 ", "Протокол № 12-3"},  // untrimmed in the document, not in a file name
        {"", "Протокол"},        {" \t", "Протокол"},
        {"..", "Протокол"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProtocolPdfFileName(c.number), c.expected) << c.number;
}

TEST(ReportPreviewPdf, StartsWhereFilesAreSavedWithTheNameGivenAndWritesThere) {
    test::TempDir dir;
    const std::string database = dir.File("db");
    std::filesystem::create_directories(PathFromUtf8(database));
    SetDefaultSaveDirectory(database);
    auto prompts = std::make_shared<test::ScriptedPrompts>();
    PromptsScope scope(prompts);

    PreparedReport report;
    report.pages.resize(1);
    ReportPreviewDialog preview(report);
    preview.SetPdfFileName(ProtocolPdfFileName("77"));
    const std::string file = dir.File("Протокол 77.pdf");
    prompts->fileAnswers = {file};
    preview.SavePdfAction()->trigger();
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].kind, "save");
    EXPECT_EQ(prompts->shown[0].text, "Сохранить в PDF");
    EXPECT_EQ(prompts->shown[0].directory, Utf8FromPath(PathFromUtf8(database) / PathFromUtf8("Протокол № 77.pdf")));
    EXPECT_TRUE(std::filesystem::is_regular_file(PathFromUtf8(file)));
    // The next save starts where this one went.
    EXPECT_EQ(SaveDirectory(), Utf8FromPath(dir.path()));
    SetDefaultSaveDirectory({});
}

}  // namespace
}  // namespace zorvex::report
