#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/RunSettings.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::TempDir;
namespace fs = std::filesystem;

namespace {

void ExpectLocations(const TDataLocations& actual, const TDataLocations& expected, const std::string& name) {
    EXPECT_EQ(actual.installed, expected.installed) << name;
    EXPECT_EQ(actual.dataDirectory, expected.dataDirectory) << name;
    EXPECT_EQ(actual.databaseFile, expected.databaseFile) << name;
    EXPECT_EQ(actual.formerProtocolDirectory, expected.formerProtocolDirectory) << name;
    EXPECT_EQ(actual.documentDirectory, expected.documentDirectory) << name;
    EXPECT_EQ(actual.fileDialogDirectory, expected.fileDialogDirectory) << name;
}

}  // namespace

#ifndef _WIN32

namespace {

TLocationInputs Inputs(const char* programDirectory, bool writable, const char* home, const char* xdgDataHome) {
    TLocationInputs inputs;
    inputs.programDirectory = programDirectory;
    inputs.programDirectoryWritable = writable;
    inputs.home = home;
    inputs.xdgDataHome = xdgDataHome;
    return inputs;
}

// The permission bits in octal, as ls and chmod show them.
std::string Mode(const fs::path& path) {
    char text[8];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(fs::status(path).permissions() & fs::perms::all));
    return text;
}

}  // namespace

TEST(DataLocations, LayoutFollowsTheProgramDirectoryAndTheEnvironment) {
    struct Case {
        const char* name;
        TLocationInputs inputs;
        TDataLocations expected;
    };
    const Case cases[] = {
        {"build tree: everything beside the program, the environment unused",
         Inputs("/home/u/zorvex/build/src/app", true, "", "/home/u/xdg"),
         {false, "", "data.db", "/home/u/zorvex/build/src/app/protocols", "/home/u/zorvex/build/src/app/doc",
          "/home/u/zorvex/build/src/app"}},
        {"installed, XDG_DATA_HOME set",
         Inputs("/usr/bin", false, "/home/u", "/var/xdg/"),
         {true, "/var/xdg/zorvex", "/var/xdg/zorvex/data.db", "/var/xdg/zorvex/protocols", "/usr/share/zorvex/doc",
          "/var/xdg/zorvex"}},
        {"installed, XDG_DATA_HOME set and HOME unset",
         Inputs("/usr/bin", false, "", "/var/xdg"),
         {true, "/var/xdg/zorvex", "/var/xdg/zorvex/data.db", "/var/xdg/zorvex/protocols", "/usr/share/zorvex/doc",
          "/var/xdg/zorvex"}},
        {"installed, XDG_DATA_HOME unset",
         Inputs("/opt/zorvex/bin", false, "/home/u", ""),
         {true, "/home/u/.local/share/zorvex", "/home/u/.local/share/zorvex/data.db",
          "/home/u/.local/share/zorvex/protocols", "/opt/zorvex/share/zorvex/doc", "/home/u/.local/share/zorvex"}},
        {"installed, relative XDG_DATA_HOME ignored, trailing separators",
         Inputs("/usr/local/bin/", false, "/home/u/", "xdg/data"),
         {true, "/home/u/.local/share/zorvex", "/home/u/.local/share/zorvex/data.db",
          "/home/u/.local/share/zorvex/protocols", "/usr/local/share/zorvex/doc", "/home/u/.local/share/zorvex"}},
    };
    for (const Case& c : cases) ExpectLocations(ResolveDataLocations(c.inputs), c.expected, c.name);
}

TEST(DataLocations, ProtocolsLiveBesideTheirDatabase) {
    struct Case {
        const char* databaseFile;
        const char* protocolDirectory;
    };
    const Case cases[] = {
        {"/srv/lab/a/data.db", "/srv/lab/a/protocols"},
        {"/srv/lab/b/other.db", "/srv/lab/b/protocols"},
        {"/home/u/Замеры 2026/data.db", "/home/u/Замеры 2026/protocols"},
        {"data.db", "protocols"},
    };
    for (const Case& c : cases) EXPECT_EQ(ProtocolDirectoryOf(c.databaseFile), c.protocolDirectory) << c.databaseFile;

    // The database in its usual place keeps its protocols where they always were.
    for (const bool writable : {true, false}) {
        const TDataLocations layout = ResolveDataLocations(Inputs("/opt/zorvex/bin", writable, "/home/u", ""));
        const std::string database =
            layout.installed ? layout.databaseFile : std::string("/opt/zorvex/bin/") + layout.databaseFile;
        EXPECT_EQ(ProtocolDirectoryOf(database), layout.formerProtocolDirectory) << writable;
    }
}

TEST(DataLocations, InstalledWithoutAUsableHomeIsAClearError) {
    struct Case {
        TLocationInputs inputs;
        const char* message;
    };
    const Case cases[] = {
        {Inputs("/usr/bin", false, "", ""),
         "Не удалось определить каталог данных пользователя: не задана переменная HOME"},
        {Inputs("/usr/bin", false, "", "relative"),
         "Не удалось определить каталог данных пользователя: не задана переменная HOME"},
        {Inputs("/usr/bin", false, "home/u", ""),
         "Не удалось определить каталог данных пользователя: в переменной HOME не абсолютный путь «home/u»"},
    };
    for (const Case& c : cases) {
        try {
            ResolveDataLocations(c.inputs);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST(DataLocations, CreatesTheDataDirectoryPrivateAndLeavesAnExistingOne) {
    TempDir dir;
    const fs::path data = dir.path() / "home" / ".local" / "share" / "zorvex";
    CreateDataDirectory(Utf8FromPath(data));
    ASSERT_TRUE(fs::is_directory(data));
    EXPECT_EQ(Mode(data), "700");
    EXPECT_EQ(Mode(dir.path() / "home"), "700");

    // Again, over a directory with contents and the user's own mode: nothing changes.
    test::WriteFileBytes(data / "data.db", "x");
    fs::permissions(data, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);  // 750
    CreateDataDirectory(Utf8FromPath(data) + "/");
    EXPECT_EQ(test::ReadFileBytes(data / "data.db"), "x");
    EXPECT_EQ(Mode(data), "750");
}

TEST(DataLocations, AFileInTheWayOfTheDataDirectoryIsAnError) {
    TempDir dir;
    test::WriteFileBytes(dir.path() / "share", "");
    for (const fs::path& target : {dir.path() / "share", dir.path() / "share" / "zorvex"}) {
        try {
            CreateDataDirectory(Utf8FromPath(target));
            ADD_FAILURE() << "no error for " << target;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Не удалось создать каталог данных «" + Utf8FromPath(target) +
                                       "»: на его пути файл, а не каталог");
        }
    }
}

#else  // _WIN32

TEST(DataLocations, WindowsLayoutFollowsTheProgramDirectoryAndTheUserProfile) {
    const auto inputs = [](const char* program, bool writable, const char* localAppData, const char* appData) {
        TLocationInputs in;
        in.programDirectory = program;
        in.programDirectoryWritable = writable;
        in.localAppData = localAppData;
        in.appData = appData;
        return in;
    };
    const struct {
        const char* name;
        TLocationInputs inputs;
        TDataLocations expected;
    } cases[] = {
        {"a portable copy in a Russian folder: everything beside it, the profile unused",
         inputs("C:\\Лаборатория\\Зорвекс", true, "C:\\users\\Иван\\AppData\\Local", ""),
         {false, "", "data.db", "C:\\Лаборатория\\Зорвекс\\protocols", "C:\\Лаборатория\\Зорвекс\\doc",
          "C:\\Лаборатория\\Зорвекс"}},
        {"installed: data in LOCALAPPDATA of a Russian profile, doc beside the program",
         inputs("C:\\Program Files\\Zorvex", false, "C:\\users\\Иван\\AppData\\Local", "C:\\roaming"),
         {true, "C:\\users\\Иван\\AppData\\Local\\Zorvex", "C:\\users\\Иван\\AppData\\Local\\Zorvex\\data.db",
          "C:\\users\\Иван\\AppData\\Local\\Zorvex\\protocols", "C:\\Program Files\\Zorvex\\doc",
          "C:\\users\\Иван\\AppData\\Local\\Zorvex"}},
        {"installed without LOCALAPPDATA: APPDATA",
         inputs("C:\\Program Files\\Zorvex", false, "", "C:\\users\\Иван\\AppData\\Roaming"),
         {true, "C:\\users\\Иван\\AppData\\Roaming\\Zorvex", "C:\\users\\Иван\\AppData\\Roaming\\Zorvex\\data.db",
          "C:\\users\\Иван\\AppData\\Roaming\\Zorvex\\protocols", "C:\\Program Files\\Zorvex\\doc",
          "C:\\users\\Иван\\AppData\\Roaming\\Zorvex"}},
    };
    for (const auto& c : cases) ExpectLocations(ResolveDataLocations(c.inputs), c.expected, c.name);

    const struct {
        TLocationInputs inputs;
        const char* message;
    } errors[] = {
        {inputs("C:\\Program Files\\Zorvex", false, "", ""),
         "Не удалось определить каталог данных пользователя: не заданы переменные LOCALAPPDATA и APPDATA"},
        {inputs("C:\\Program Files\\Zorvex", false, "Local", ""),
         "Не удалось определить каталог данных пользователя: в переменной LOCALAPPDATA не абсолютный путь «Local»"},
    };
    for (const auto& e : errors) {
        try {
            ResolveDataLocations(e.inputs);
            ADD_FAILURE() << e.message;
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), e.message);
        }
    }
}

#endif  // _WIN32

// The test program lives in the build tree, which its user may write to.
TEST(DataLocations, RunningFromTheBuildTreeKeepsEverythingBesideTheProgram) {
    const fs::path program = PathFromUtf8(ProgramDirectory());
    ExpectLocations(DataLocations(),
                    {false, "", "data.db", Utf8FromPath(program / "protocols"), Utf8FromPath(program / "doc"),
                     Utf8FromPath(program)},
                    "the test program");
}
