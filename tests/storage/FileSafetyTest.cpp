#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "storage/Database.h"
#include "storage/FileSafety.h"
#include "storage/SQLiteDatabase.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::ReadFileBytes;
using zorvex::test::TempDir;
using zorvex::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

std::size_t EntriesIn(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace

TEST(FileSafety, PathsThatNameNoFileAreRefused) {
    TempDir dir;
    fs::create_directories(dir.path() / "sub");
    struct Case {
        std::string path, message;
    };
    const Case refused[] = {
        {"", "Не указано имя файла"},
        {dir.File("sub"), "«" + dir.File("sub") + "» — каталог, а не файл"},
        {dir.File("sub/"), "«" + dir.File("sub/") + "» — каталог, а не файл"},
        {dir.File("missing/"), "«" + dir.File("missing/") + "» — каталог, а не файл"},
        {"./", "«./» — каталог, а не файл"},
        {dir.File("sub/.."), "«" + dir.File("sub/..") + "» — каталог, а не файл"},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(ErrorOf([&] { CheckFilePath(c.path); }), c.message) << c.path;
        EXPECT_EQ(ErrorOf([&] { OpenDatabase(c.path); }), c.message) << c.path;
    }
    for (const std::string& fine : {dir.File("data.db"), dir.File("new/dir/data.db"), std::string("data.db")})
        EXPECT_EQ(ErrorOf([&] { CheckFilePath(fine); }), "") << fine;
    EXPECT_TRUE(fs::is_empty(dir.path() / "sub"));
}

TEST(FileSafety, OutputsNeverReplaceTheMainDatabaseOrANonRegularFile) {
    TempDir dir;
    SetMainDatabase(OpenDatabase(dir.File("data.db")));
    const std::string before = ReadFileBytes(dir.path() / "data.db");
    fs::current_path(dir.path());
    for (const std::string& name : {dir.File("data.db"), std::string("./data.db")}) {
        EXPECT_EQ(ErrorOf([&] { WriteFileReplacing(name, "%PDF"); }),
                  "Файл «" + name + "» — основная база данных программы; выберите другое имя");
    }
    SetMainDatabase(nullptr);
    EXPECT_EQ(ReadFileBytes(dir.path() / "data.db"), before);

#ifndef _WIN32  // FIFOs and device files
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    for (const std::string& name : {dir.File("pipe"), std::string("/dev/full"), std::string("/dev/null")})
        EXPECT_EQ(ErrorOf([&] { WriteFileReplacing(name, "x"); }),
                  "Не удалось записать файл «" + name + "»: это не обычный файл");
    EXPECT_EQ(EntriesIn(dir.path()), 2u);  // data.db and the FIFO, no temporary file
#endif
}

TEST(FileSafety, AReplacementIsAllOrNothing) {
    TempDir dir;
    const std::string target = dir.File("out/report.pdf");
    WriteFileReplacing(target, "first");
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(target)), "first");  // missing directories are created

    {  // abandoned without a commit
        TReplacementFile file(target);
        file.Write("partial");
        EXPECT_TRUE(fs::exists(PathFromUtf8(file.TempPath())));
        EXPECT_EQ(PathFromUtf8(file.TempPath()).parent_path(), PathFromUtf8(target).parent_path());
    }
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(target)), "first");

#ifndef _WIN32  // a full disk is made with RLIMIT_FSIZE
    {  // the disk fills up part way
        const test::FileSizeLimit full(4096);
        EXPECT_EQ(ErrorOf([&] { WriteFileReplacing(target, std::string(10000, 'x')); }),
                  "Не удалось записать файл «" + target + "»");
    }
#endif
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(target)), "first");
    EXPECT_EQ(EntriesIn(dir.path() / "out"), 1u);

    const std::string large(1 << 20, 'y');
    WriteFileReplacing(target, large);
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(target)), large);
    EXPECT_EQ(EntriesIn(dir.path() / "out"), 1u);
}

// The files the program keeps beside its database: a protocol's file in
// protocols/ (existing or not: a row names it by id) and an existing memory
// image in downloads/. A user's output never replaces one, by any spelling or
// through a link; their own stores still write them.
TEST(FileSafety, OutputsNeverReplaceAFileTheProgramKeeps) {
    TempDir dir;
    SetMainDatabase(OpenDatabase(dir.File("data.db")));
    fs::create_directories(dir.path() / "protocols");
    fs::create_directories(dir.path() / "downloads");
    WriteFileBytes(dir.path() / "protocols" / "1.zorvexpro", "protocol");
    WriteFileBytes(dir.path() / "downloads" / "2026-03-17 10-00-00-123.bin", "image");
    WriteFileBytes(dir.path() / "downloads" / "notes.txt", "notes");
    fs::create_directories(dir.path() / "sub");
#ifndef _WIN32  // MinGW's std::filesystem makes no symbolic links
    fs::create_directory_symlink(dir.path() / "protocols", dir.path() / "alias");
    fs::create_symlink(dir.path() / "downloads" / "2026-03-17 10-00-00-123.bin", dir.path() / "image.pdf");
#endif
    fs::create_hard_link(dir.path() / "protocols" / "1.zorvexpro", dir.path() / "sub" / "hard.pdf");
    const std::string protocol = "файл сохранённого протокола", image = "копия памяти прибора, сохранённая при загрузке";
    const std::string former = Utf8FromPath(PathFromUtf8(DataLocations().formerProtocolDirectory) / "9.zorvexpro");

    struct Case {
        std::string path;
        std::string kept;  // empty: the user may write it
    };
    const Case cases[] = {
        {dir.File("protocols/1.zorvexpro"), protocol},
        {dir.File("protocols/7.zorvexpro"), protocol},
        {dir.File("protocols/1.ZorvexPro"), protocol},
        {dir.File("sub/../protocols/1.zorvexpro"), protocol},
#ifndef _WIN32
        {dir.File("alias/1.zorvexpro"), protocol},
#endif
        {former, protocol},
        {dir.File("downloads/2026-03-17 10-00-00-123.bin"), image},
#ifndef _WIN32
        {dir.File("image.pdf"), image},
#endif
        {dir.File("sub/hard.pdf"), protocol},
        {dir.File("protocols/1.pdf"), ""},
        {dir.File("protocols.zorvexpro"), ""},
        {dir.File("downloads/new.bin"), ""},
        {dir.File("downloads/notes.txt"), ""},
    };
    for (const Case& c : cases) {
        const std::string expected = c.kept.empty() ? "" : "Файл «" + c.path + "» — " + c.kept + "; выберите другое имя";
        EXPECT_EQ(ErrorOf([&] { CheckOutputPath(c.path); }), expected) << c.path;
        // Their own stores write them; the main database stays refused to them too.
        EXPECT_EQ(ErrorOf([&] { CheckOutputPath(c.path, TWriter::KeptFileStore); }), "") << c.path;
    }
    EXPECT_NE(ErrorOf([&] { CheckOutputPath(dir.File("data.db"), TWriter::KeptFileStore); }), "");

    EXPECT_NE(ErrorOf([&] { WriteFileReplacing(dir.File("protocols/1.zorvexpro"), "%PDF"); }), "");
#ifndef _WIN32
    EXPECT_NE(ErrorOf([&] { WriteFileReplacing(dir.File("image.pdf"), "%PDF"); }), "");
#endif
    EXPECT_EQ(ReadFileBytes(dir.path() / "protocols" / "1.zorvexpro"), "protocol");
    EXPECT_EQ(ReadFileBytes(dir.path() / "downloads" / "2026-03-17 10-00-00-123.bin"), "image");
    EXPECT_FALSE(fs::exists(dir.path() / "protocols" / "7.zorvexpro"));
    EXPECT_EQ(EntriesIn(dir.path() / "protocols"), 1u);  // no temporary file left

    TReplacementFile store(dir.File("protocols/1.zorvexpro"), TWriter::KeptFileStore);
    store.Write("new protocol");
    store.Commit();
    EXPECT_EQ(ReadFileBytes(dir.path() / "protocols" / "1.zorvexpro"), "new protocol");

    // The files kept are those of the database in use.
    SetMainDatabase(OpenDatabase(dir.File("sub/other.db")));
    EXPECT_EQ(ErrorOf([&] { CheckOutputPath(dir.File("protocols/1.zorvexpro")); }), "");
    EXPECT_NE(ErrorOf([&] { CheckOutputPath(dir.File("sub/protocols/1.zorvexpro")); }), "");
    SetMainDatabase(nullptr);
}
