#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>

#include "base/Clock.h"
#include "base/Paths.h"
#include "storage/Utilities.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::ReadFileBytes;
using zorvex::test::TempDir;

TEST(Utilities, TextRoutines) {
    EXPECT_EQ(TrimBlanks(" \t\r\n "), "");
    EXPECT_EQ(TrimBlanks("\r\n a b \r\n"), "a b");
    EXPECT_EQ(TrimBlanks(std::string("\0x\x1F", 3)), "x");
    EXPECT_EQ(TrimBlanks(" Ёлка "), "Ёлка");
    int count = -1;
    EXPECT_EQ(JoinTexts({"a", "b", "c"}, "','", &count), "a','b','c");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(JoinTexts({}, ",", &count), "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ReplaceFirst("1.5.3", ".", ","), "1,5.3");
    EXPECT_EQ(ReplaceFirst("abc", "x", ","), "abc");
}

TEST(Utilities, SplitSeconds) {
    struct Case {
        std::int32_t total;
        TSplitSeconds expected;
    } cases[] = {
        {86400 + 3600 + 60 + 1, {0, 1, 1, 1, 1}},
        {2629800, {1, 0, 0, 0, 0}},  // exactly 30.4375 days
        {3000000, {1, 4, 6, 50, 0}},
        {59, {0, 0, 0, 0, 59}},
        {0, {0, 0, 0, 0, 0}},
        {11718750, {4, 13, 21, 12, 30}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitSeconds(c.total), c.expected) << c.total;
}

TEST(Utilities, SortByCallbacksSortsAndShortRangesAreStable) {
    RandomSource().Seed(1);
    for (const int size : {0, 1, 2, 10, 31, 32, 33, 100, 1000}) {
        std::mt19937 gen(static_cast<unsigned>(size));
        std::vector<std::pair<int, int>> items(static_cast<std::size_t>(size));
        for (int i = 0; i < size; ++i) items[i] = {static_cast<int>(gen() % 7), i};  // many equal keys
        auto expected = items;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        int compares = 0;
        SortByCallbacks(
            0, size - 1,
            [&](int i, int j) {
                ++compares;
                return items[i].first < items[j].first ? -1 : items[i].first > items[j].first ? 1 : 0;
            },
            [&](int i, int j) { std::swap(items[i], items[j]); });
        for (int i = 0; i < size; ++i) EXPECT_EQ(items[i].first, expected[i].first) << size;
        if (size <= 32) {
            EXPECT_EQ(items, expected) << "stable below 33 elements, size " << size;
        }
        if (size == 1) {
            EXPECT_EQ(compares, 1);
        }
    }
}

TEST(Utilities, OutputFiles) {
    TempDir dir;
    const auto path = dir.path() / "a" / "b" / "out.csv";
    {
        TOutputFile file = CreateOutputFile(Utf8FromPath(path), false);
        ASSERT_TRUE(file.IsValid());
        EXPECT_EQ(WriteOutput(file, "first version", 13), 13);
        // Exclusive use: a second exclusive creation is refused while the first is open.
        EXPECT_FALSE(CreateOutputFile(Utf8FromPath(path), false).IsValid());
    }
    {
        TOutputFile file = CreateOutputFile(Utf8FromPath(path), true);
        ASSERT_TRUE(file.IsValid());
        EXPECT_EQ(WriteOutput(file, "new", 3), 3);
    }
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_FALSE(CreateOutputFile(Utf8FromPath(dir.path() / "a"), true).IsValid());  // a directory
    TOutputFile invalid;
    EXPECT_EQ(WriteOutput(invalid, "x", 1), -1);
    EXPECT_TRUE(IsExistingFile(Utf8FromPath(path)));
    EXPECT_FALSE(IsExistingFile(Utf8FromPath(dir.path() / "a")));
    EXPECT_FALSE(IsExistingFile(Utf8FromPath(dir.path() / "none")));
}

TEST(Utilities, FileVersionText) {
    TempDir dir;
    zorvex::test::WriteFileBytes(dir.path() / "plain.bin", std::string(100, 'z'));
    EXPECT_EQ(FileVersionText(dir.File("plain.bin"), "%d.%d"), "1.0");
    EXPECT_EQ(FileVersionText(dir.File("missing.bin"), "%d.%d"), "1.0");

    const auto stamp = MakeVersionStamp(4, 0);
    std::string content(5000, '\x7F');
    content.append(stamp.begin(), stamp.end());
    content += "tail";
    zorvex::test::WriteFileBytes(dir.path() / "stamped.bin", content);
    EXPECT_EQ(FileVersionText(dir.File("stamped.bin"), "%d.%d"), "4.0");
    const auto other = MakeVersionStamp(260, 7);
    zorvex::test::WriteFileBytes(dir.path() / "other.bin", std::string(other.begin(), other.end()));
    EXPECT_EQ(FileVersionText(dir.File("other.bin"), "v%d.%d"), "v260.7");
}
