// File names in Russian (and beyond code page 1251) through the name helpers
// and the data-directory layout, down to the bytes of the names on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::TempDir;
namespace fs = std::filesystem;

namespace {

// The names in `directory` as UTF-8 bytes, sorted.
std::vector<std::string> NamesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(Utf8FromPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Names(std::initializer_list<const char*> names) {
    std::vector<std::string> sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

}  // namespace

TEST(CyrillicPaths, NamesRoundTripAndSplitIntoTheirParts) {
    const struct {
        const char* name;
        const char* parent;
        const char* file;
        const char* stem;
        const char* extension;
    } cases[] = {
        {"Лаборатория/Замеры/база.db", "Лаборатория/Замеры", "база.db", "база", ".db"},
        {"протокол № 5.pdf", "", "протокол № 5.pdf", "протокол № 5", ".pdf"},
        {"Иван/экспорт.csv", "Иван", "экспорт.csv", "экспорт", ".csv"},
        // Outside code page 1251: no ANSI conversion may be on the way.
        {"日本/データ.zorvex", "日本", "データ.zorvex", "データ", ".zorvex"},
        {"Ёлки/ё€—«».bin", "Ёлки", "ё€—«».bin", "ё€—«»", ".bin"},
        {"Замеры.2026/отчёт", "Замеры.2026", "отчёт", "отчёт", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = PathFromUtf8(c.name);
        EXPECT_EQ(Utf8FromPath(path), c.name);
        const std::u8string u8 = path.u8string();
        EXPECT_EQ(std::string(u8.begin(), u8.end()), c.name);  // the path holds the characters, not bytes read as ANSI
        EXPECT_EQ(Utf8FromPath(path.parent_path()), c.parent);
        EXPECT_EQ(Utf8FromPath(path.filename()), c.file);
        EXPECT_EQ(Utf8FromPath(path.stem()), c.stem);
        EXPECT_EQ(Utf8FromPath(path.extension()), c.extension);
        // Joined again from its parts, the name is the same path.
        const fs::path joined = PathFromUtf8(c.parent) / PathFromUtf8(c.file);
        EXPECT_EQ(joined, path);
        EXPECT_EQ(PathFromUtf8(Utf8FromPath(joined)), path);
    }
    // A path made from characters, as the system gives them, reads back as the same UTF-8 bytes.
    EXPECT_EQ(Utf8FromPath(fs::path(u8"Замеры № 5")), "Замеры № 5");
    EXPECT_EQ(Utf8FromPath(fs::path(u8"日本")), "日本");
#ifdef _WIN32
    EXPECT_EQ(Utf8FromPath(fs::path(L"Замеры № 5")), "Замеры № 5");
    EXPECT_EQ(PathFromUtf8("日本").wstring(), L"日本");
#endif
    EXPECT_EQ(Utf8FromPath(PathFromUtf8("")), "");
}

TEST(CyrillicPaths, FilesAndFoldersAreCreatedUnderTheirOwnBytesAndReadBack) {
    TempDir dir;
    const std::string root = Utf8FromPath(dir.path());
    const struct {
        const char* folder;
        const char* file;
        const char* contents;
    } cases[] = {
        {"Лаборатория/Замеры", "база.db", "records"},
        {"Лаборатория/Замеры", "протокол № 5.pdf", "%PDF-"},
        {"日本", "экспорт.csv", "a;b\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + "/" + c.file);
        const fs::path folder = PathFromUtf8(root + "/" + c.folder);
        fs::create_directories(folder);
        test::WriteFileBytes(folder / PathFromUtf8(c.file), c.contents);
        EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(root + "/" + c.folder + "/" + c.file)), c.contents);
    }
    EXPECT_EQ(NamesIn(dir.path()), Names({"Лаборатория", "日本"}));
    EXPECT_EQ(NamesIn(PathFromUtf8(root + "/Лаборатория")), Names({"Замеры"}));
    EXPECT_EQ(NamesIn(PathFromUtf8(root + "/Лаборатория/Замеры")), Names({"база.db", "протокол № 5.pdf"}));
    EXPECT_EQ(NamesIn(PathFromUtf8(root + "/日本")), Names({"экспорт.csv"}));
    // What a listing gives is the name the program asked for, byte for byte.
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        const std::string name = Utf8FromPath(entry.path());
        EXPECT_TRUE(fs::exists(PathFromUtf8(name))) << name;
    }
}

#ifndef _WIN32

namespace {

TLocationInputs Inputs(const std::string& programDirectory, bool writable, const std::string& home,
                       const std::string& xdgDataHome) {
    TLocationInputs inputs;
    inputs.programDirectory = programDirectory;
    inputs.programDirectoryWritable = writable;
    inputs.home = home;
    inputs.xdgDataHome = xdgDataHome;
    return inputs;
}

}  // namespace

TEST(CyrillicPaths, DataLocationsKeepCyrillicFoldersAsTheyAre) {
    const struct {
        const char* name;
        TLocationInputs inputs;
        TDataLocations expected;
    } cases[] = {
        {"a portable copy in a Cyrillic folder stays beside itself",
         Inputs("/home/Иван/Программа № 1", true, "/home/Иван", "/home/Иван/Данные"),
         {false, "", "data.db", "/home/Иван/Программа № 1/protocols", "/home/Иван/Программа № 1/doc",
          "/home/Иван/Программа № 1"}},
        {"installed, XDG_DATA_HOME in a Cyrillic folder",
         Inputs("/opt/Замеры/bin", false, "/home/u", "/home/Иван/Лаборатория/Данные/"),
         {true, "/home/Иван/Лаборатория/Данные/zorvex", "/home/Иван/Лаборатория/Данные/zorvex/data.db",
          "/home/Иван/Лаборатория/Данные/zorvex/protocols", "/opt/Замеры/share/zorvex/doc",
          "/home/Иван/Лаборатория/Данные/zorvex"}},
        {"installed, a Cyrillic home and no XDG_DATA_HOME",
         Inputs("/usr/bin", false, "/home/Иван", ""),
         {true, "/home/Иван/.local/share/zorvex", "/home/Иван/.local/share/zorvex/data.db",
          "/home/Иван/.local/share/zorvex/protocols", "/usr/share/zorvex/doc", "/home/Иван/.local/share/zorvex"}},
        {"installed, names outside code page 1251",
         Inputs("/opt/日本/bin/", false, "/home/日本", "/srv/データ/./"),
         {true, "/srv/データ/zorvex", "/srv/データ/zorvex/data.db", "/srv/データ/zorvex/protocols",
          "/opt/日本/share/zorvex/doc", "/srv/データ/zorvex"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TDataLocations actual = ResolveDataLocations(c.inputs);
        EXPECT_EQ(actual.installed, c.expected.installed);
        EXPECT_EQ(actual.dataDirectory, c.expected.dataDirectory);
        EXPECT_EQ(actual.databaseFile, c.expected.databaseFile);
        EXPECT_EQ(actual.formerProtocolDirectory, c.expected.formerProtocolDirectory);
        EXPECT_EQ(actual.documentDirectory, c.expected.documentDirectory);
        EXPECT_EQ(actual.fileDialogDirectory, c.expected.fileDialogDirectory);
    }

    const struct {
        const char* database;
        const char* protocols;
        const char* images;
    } beside[] = {
        {"/home/Иван/Лаборатория/Замеры/база.db", "/home/Иван/Лаборатория/Замеры/protocols",
         "/home/Иван/Лаборатория/Замеры/downloads"},
        {"Замеры № 5/база.db", "Замеры № 5/protocols", "Замеры № 5/downloads"},
        {"/srv/日本/data.db", "/srv/日本/protocols", "/srv/日本/downloads"},
    };
    for (const auto& b : beside) {
        EXPECT_EQ(ProtocolDirectoryOf(b.database), b.protocols) << b.database;
        EXPECT_EQ(ImageDirectoryOf(b.database), b.images) << b.database;
    }
}

TEST(CyrillicPaths, ARelativeCyrillicHomeIsNamedInTheErrorAsWritten) {
    try {
        ResolveDataLocations(Inputs("/usr/bin", false, "дом/Иван", "Данные"));
        ADD_FAILURE() << "a relative home was taken";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  "Не удалось определить каталог данных пользователя: в переменной HOME не абсолютный путь «дом/Иван»");
    }
}

// The installed layout on a real disk: the data directory under a Cyrillic
// XDG_DATA_HOME is made with the names given, and the database path it gives
// is where a file lands.
TEST(CyrillicPaths, TheInstalledDataDirectoryIsMadeUnderTheCyrillicFolder) {
    TempDir dir;
    const std::string xdg = Utf8FromPath(dir.path()) + "/Иван/Лаборатория/Замеры";
    const TDataLocations locations =
        ResolveDataLocations(Inputs(Utf8FromPath(dir.path()) + "/Программа/bin", false, "", xdg));
    ASSERT_TRUE(locations.installed);
    EXPECT_EQ(locations.dataDirectory, xdg + "/zorvex");
    CreateDataDirectory(locations.dataDirectory);
    test::WriteFileBytes(PathFromUtf8(locations.databaseFile), "db");

    EXPECT_EQ(NamesIn(dir.path()), Names({"Иван"}));
    EXPECT_EQ(NamesIn(dir.path() / PathFromUtf8("Иван")), Names({"Лаборатория"}));
    EXPECT_EQ(NamesIn(dir.path() / PathFromUtf8("Иван/Лаборатория")), Names({"Замеры"}));
    EXPECT_EQ(NamesIn(PathFromUtf8(xdg)), Names({"zorvex"}));
    EXPECT_EQ(NamesIn(PathFromUtf8(locations.dataDirectory)), Names({"data.db"}));
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(xdg + "/zorvex/data.db")), "db");
    // Every new folder on the way is the user's alone.
    for (const char* folder : {"Иван", "Иван/Лаборатория", "Иван/Лаборатория/Замеры/zorvex"})
        EXPECT_EQ(fs::status(dir.path() / PathFromUtf8(folder)).permissions() & fs::perms::all, fs::perms::owner_all)
            << folder;

    // A second run finds it and leaves its contents alone.
    CreateDataDirectory(locations.dataDirectory);
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(locations.databaseFile)), "db");
}

#endif  // _WIN32

TEST(CyrillicPaths, DeviceNamesOfWindowsAreNoFiles) {
    const struct {
        const char* name;
        bool deviceOnWindows;
    } cases[] = {
        {"NUL", true},          {"nul.csv", true},         {"C:\\данные\\Con.zorvex", true},
        {"отчёт/aux .pdf", true}, {"COM1", true},            {"lpt9.db", true},
        {"CONOUT$", true},      {"COM0", false},           {"COM10", false},
        {"nul1", false},        {"консоль.csv", false},    {"NUL/data.db", false},
        {"", false},            {"data.db", false},
    };
    for (const auto& c : cases) {
#ifdef _WIN32
        EXPECT_EQ(NamesSystemDevice(c.name), c.deviceOnWindows) << c.name;
#else
        EXPECT_FALSE(NamesSystemDevice(c.name)) << c.name;  // a file like any other here
#endif
    }
}
