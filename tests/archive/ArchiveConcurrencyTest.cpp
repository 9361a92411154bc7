#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "archive/ArchiveTestSupport.h"
#include "support/RawSqlite.h"

using namespace zorvex;
using namespace zorvex::archive;
using namespace zorvex::test;

namespace {

class ArchiveConcurrency : public ArchiveTest {
protected:
    // Runs the pushes at once: they are held at a lock until all of them wait
    // in their transactions, then let go together.
    std::vector<ProcessResult> PushTogether(const std::vector<std::string>& databases) {
        auto holder = ConnectTo(conninfo_);
        holder->Exec("begin");
        holder->Exec("lock table measurements in share mode");
        std::vector<ProcessResult> results(databases.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < databases.size(); ++i)
            threads.emplace_back([&, i] { results[i] = Cli({"--db", databases[i], "archive", "push", "--archive", conninfo_}); });
        bool allWaiting = false;
        for (int i = 0; i < 200 && !allWaiting; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            allWaiting = Rows(Archive(), "select count(*) from pg_stat_activity where application_name = 'zorvex' and "
                                       "wait_event_type = 'Lock'")[0] == std::to_string(databases.size());
        }
        EXPECT_TRUE(allWaiting) << [&] {
            std::string text;
            for (const auto& row : Rows(Archive(), "select application_name, state, wait_event_type, wait_event, query "
                                                 "from pg_stat_activity where backend_type = 'client backend'"))
                text += row + "\n";
            return text;
        }();
        holder->Exec("commit");
        for (auto& t : threads) t.join();
        return results;
    }

    // The archive one push of a copy of `folder` makes in a fresh database;
    // `pushMs` receives how long the push took.
    std::vector<std::string> CleanPushOf(const std::string& folder, long* pushMs = nullptr) {
        const std::string clean = "clean-" + std::to_string(++copies_);
        CopyFolder(dir_->path() / folder, dir_->path() / clean);
        const std::string conninfo = NewDatabase();
        auto conn = ConnectTo(conninfo);
        const ProcessResult init = Cli({"--db", DbFile(clean), "archive", "init", "--archive", conninfo});
        EXPECT_EQ(init.status, 0) << init.err;
        const auto start = std::chrono::steady_clock::now();
        const ProcessResult push = Cli({"--db", DbFile(clean), "archive", "push"});
        if (pushMs)
            *pushMs = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        EXPECT_EQ(push.status, 0) << push.err;
        return ArchiveSnapshot(*conn);
    }

    // Makes the workstation id of a data.db, so that its copies share it.
    void FixWorkstation(const std::string& db) { ASSERT_EQ(Cli({"--db", db, "archive", "workstation"}).status, 0); }

    int copies_ = 0;
};

TEST_F(ArchiveConcurrency, TwoPushesOfTheSameDataAtOnceStoreEachRecordOnce) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 2000, .downloads = 2, .protocols = 3});
    FixWorkstation(db);
    const auto expected = CleanPushOf("lab");
    const auto results = PushTogether({db, db});
    for (const auto& r : results) EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ArchiveSnapshot(Archive()), expected);
}

TEST_F(ArchiveConcurrency, TwoWorkstationsRegisteringOneNumberAtOnceGetItOnce) {
    const std::string first = DbFile("first"), second = DbFile("second");
    MakeLabDatabase(first, {.measurements = 100, .downloads = 1, .protocols = 2, .firstNumber = 1});
    MakeLabDatabase(second, {.measurements = 100, .downloads = 1, .protocols = 2, .firstNumber = 2});
    const auto results = PushTogether({first, second});
    // Number 2 of 2026 belongs to whichever came first; the other is told so.
    EXPECT_EQ(results[0].status + results[1].status, 1) << results[0].err << results[1].err;
    const std::string& refused = results[0].status ? results[0].err : results[1].err;
    EXPECT_NE(refused.find("Протокол № 2 от"), std::string::npos) << refused;
    EXPECT_EQ(Rows(Archive(), "select number, count(*) from protocols group by number order by number"),
              (std::vector<std::string>{"1\t1", "2\t1", "3\t1"}));
    EXPECT_EQ(Rows(Archive(), "select count(*), count(distinct (workstation, local_id)) from measurements"),
              std::vector<std::string>{"200\t200"});
}

TEST_F(ArchiveConcurrency, PushKilledAtRandomPointsThenRunAgainEqualsOneCleanPush) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 20000, .downloads = 4, .protocols = 6});
    FixWorkstation(db);
    long pushMs = 0;
    CleanPushOf("lab", &pushMs);
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long> at(1, std::max<long>(20, pushMs));
    int killed = 0;
    for (int round = 0; round < 10; ++round) {
        // Notes change between the rounds, so that every push has work to be stopped in.
        RawExec(db, "update measurements set workplace = workplace + 1 where method = 0 and id % 10 = " +
                        std::to_string(round));
        ProcessLimits limits;
        limits.timeout = std::chrono::milliseconds(round == 0 ? std::max<long>(1, pushMs / 2) : at(random));
        const ProcessResult r = Cli({"--db", db, "archive", "push", "--archive", conninfo_}, limits);
        killed += r.timedOut;
        if (!r.timedOut) {
            EXPECT_EQ(r.status, 0) << r.err;
        }
    }
    RecordProperty("killed", killed);
    EXPECT_GT(killed, 0);
    const ProcessResult last = Cli({"--db", db, "archive", "push", "--archive", conninfo_});
    ASSERT_EQ(last.status, 0) << last.err;
    // The copy keeps the marks of this archive, not of the fresh one: all of it goes.
    EXPECT_EQ(ArchiveSnapshot(Archive()), CleanPushOf("lab"));
}

}  // namespace
