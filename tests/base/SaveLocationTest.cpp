#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/Paths.h"
#include "base/SaveLocation.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace zorvex::test {
namespace {

TEST(FileNamePart, KeepsWhatEverySystemAcceptsAndReplacesTheRest) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"Протокол № 77", "Протокол № 77"},
        {"17.03.2026 10:00:00", "17.03.2026 10-00-00"},
        {"a/b\\c", "a-b-c"},
        {"<>:\"|?*", "-------"},
        {"tab\there\x7f", "tab-here-"},
        {"  12/2026. . ", "12-2026"},
        {"...", ""},
        {"  ", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FileNamePart(c.text), c.expected) << c.text;
}

class AskSaveFileNameTest : public ::testing::Test {
protected:
    AskSaveFileNameTest() : prompts(std::make_shared<ScriptedPrompts>()), scope(prompts) {
        SetDefaultSaveDirectory(Dir("db"));
    }
    ~AskSaveFileNameTest() override { SetDefaultSaveDirectory({}); }

    std::string Dir(const std::string& name) const {
        std::filesystem::create_directories(dir.path() / PathFromUtf8(name));
        return dir.File(name);
    }
    // Runs one dialog answered with `answer`; returns where it started.
    std::string Ask(const std::string& suggested, std::optional<std::string> answer, const char* extension = "csv") {
        prompts->fileAnswers = {std::move(answer)};
        const auto chosen = AskSaveFileName("Экспорт", "Файлы CSV (*.csv)", extension, suggested);
        EXPECT_EQ(prompts->shown.back().kind, "save");
        return prompts->shown.back().directory;
    }

    TempDir dir;
    std::shared_ptr<ScriptedPrompts> prompts;
    PromptsScope scope;
};

TEST_F(AskSaveFileNameTest, StartsBesideTheDatabaseThenWhereTheUserLastSaved) {
    const std::string db = Dir("db");
    const std::string stick = Dir("stick");
    // The suggestion is offered in the start directory, fit for a file name and with its extension.
    EXPECT_EQ(Ask("Мониторинг 50Гц 17.03.2026 10:00:00", std::nullopt),
              Utf8FromPath(PathFromUtf8(db) / PathFromUtf8("Мониторинг 50Гц 17.03.2026 10-00-00.csv")));
    EXPECT_EQ(Ask("", std::nullopt), db);  // no suggestion: the directory alone
    // A cancelled dialog changes nothing; a saved file moves the start to its directory.
    EXPECT_EQ(Ask("x", stick + "/chosen.csv"), Utf8FromPath(PathFromUtf8(db) / PathFromUtf8("x.csv")));
    EXPECT_EQ(SaveDirectory(), stick);
    EXPECT_EQ(Ask("y", std::nullopt, ".pdf"), Utf8FromPath(PathFromUtf8(stick) / "y.pdf"));

    // A folder that went away since is no place to start.
    std::filesystem::remove_all(PathFromUtf8(stick));
    EXPECT_EQ(SaveDirectory(), db);
    // Opening another database starts beside it again.
    const std::string third = Dir("third");
    Ask("", third + "/again.csv");
    ASSERT_EQ(SaveDirectory(), third);
    const std::string other = Dir("other");
    SetDefaultSaveDirectory(other);
    EXPECT_EQ(SaveDirectory(), other);
}

}  // namespace
}  // namespace zorvex::test
