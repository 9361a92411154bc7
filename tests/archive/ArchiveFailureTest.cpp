#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "archive/ArchiveTestSupport.h"
#include "archive/PgConnection.h"
#include "support/RawSqlite.h"

using namespace zorvex;
using namespace zorvex::archive;
using namespace zorvex::test;

namespace {

constexpr const char* kWrongPassword = "wrong-secret-42";

// A TCP listener on the loopback that answers the client's request for TLS
// with "no", as a server without TLS does, and then closes.
class NoTlsListener {
public:
    NoTlsListener() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd_, 4);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int client = accept(fd_, nullptr, nullptr);
                if (client < 0) return;
                char request[8];
                if (read(client, request, sizeof request) == sizeof request) {
                    const char no = 'N';
                    (void)!write(client, &no, 1);
                }
                close(client);
            }
        });
    }
    ~NoTlsListener() {
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        thread_.join();
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// The password file libpq reads, for the duration of a test.
class PassFileScope {
public:
    explicit PassFileScope(const std::string& path) { setenv("PGPASSFILE", path.c_str(), 1); }
    ~PassFileScope() { unsetenv("PGPASSFILE"); }
};

class ArchiveFailures : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (IsSkipped()) return;
        unsetenv("PGPASSWORD");
        EnsurePasswordRole(*server_, Archive());
    }
};

struct FailureCase {
    const char* name;
    TConnectFailure failure;
    const char* message;
};

TEST_F(ArchiveFailures, ConnectionFailuresAreToldInRussianAndChangeNothingLocal) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 20, .downloads = 1, .protocols = 1});
    const std::string database = conninfo_.substr(conninfo_.find("dbname=") + 7, conninfo_.find(" user=") - conninfo_.find("dbname=") - 7);
    NoTlsListener listener;
    const std::string emptyDirectory = dir_->path().string();
    const FailureCase cases[] = {
        {"no server", TConnectFailure::NoServer, "недоступен: он не запущен или адрес указан неверно"},
        {"password needed", TConnectFailure::PasswordNeeded, "требует пароль пользователя «pwuser»"},
        {"wrong password", TConnectFailure::WrongPassword, "не принял пароль пользователя «pwuser»"},
        {"TLS required", TConnectFailure::TlsNotOffered, "не предлагает защищённое соединение (TLS)"},
    };
    const std::string conninfos[] = {
        "host=" + emptyDirectory + " port=5432 dbname=" + database + " user=zorvex",
        server_->ConnInfo(database, "pwuser"),
        server_->ConnInfo(database, "pwuser") + " password=" + kWrongPassword,
        "host=127.0.0.1 port=" + std::to_string(listener.Port()) + " dbname=" + database +
            " user=zorvex sslmode=require connect_timeout=5",
    };
    PassFileScope noPassFile((dir_->path() / "no-such-pgpass").string());
    const std::string before = ReadFileBytes(db);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        try {
            TPgConnection::Connect(conninfos[i]);
            ADD_FAILURE() << "connected";
        } catch (const EArchiveConnectError& e) {
            EXPECT_EQ(e.Failure(), cases[i].failure) << e.what();
        }
        for (const char* action : {"push", "list"}) {
            const ProcessResult r = Cli({"--db", db, "archive", action, "--archive", conninfos[i]});
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find(cases[i].message), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find(kWrongPassword), std::string::npos) << r.err;
        }
        EXPECT_EQ(ReadFileBytes(db), before);
    }
}

TEST_F(ArchiveFailures, PasswordsWorkButAreNeverKeptInDataDb) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 20, .downloads = 1, .protocols = 1});
    const std::string database = conninfo_.substr(conninfo_.find("dbname=") + 7, conninfo_.find(" user=") - conninfo_.find("dbname=") - 7);
    // Given in the connection string: used for this run only.
    ProcessResult r = Cli({"--db", db, "archive", "push", "--archive",
                           "postgresql://pwuser:" + std::string(kPassword) + "@/" + database + "?host=" +
                               server_->SocketDirectory().string() + "&port=5432"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto kept = RawRows(db, "select value from archivesettings where name like 'connection%'");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0][0].find(kPassword), std::string::npos) << kept[0][0];
    EXPECT_NE(kept[0][0].find("pwuser"), std::string::npos) << kept[0][0];
    // The remembered connection finds its password in the password file.
    const std::filesystem::path passFile = dir_->path() / "pgpass";
    WriteFileBytes(passFile, std::string("*:*:*:pwuser:") + kPassword + "\n");
    std::filesystem::permissions(passFile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    PassFileScope scope(passFile.string());
    RawExec(db, "update measurements set workplace = 9 where id = 3");
    r = Cli({"--db", db, "archive", "push"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("с изменёнными рабочим местом или высотой 1"), std::string::npos) << r.out;
    const std::string all = ReadFileBytes(db);
    EXPECT_EQ(all.find(kPassword), std::string::npos);
}

TEST_F(ArchiveFailures, ServerStoppedMidPushLeavesNothingHalfStored) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 200, .downloads = 2, .protocols = 2});
    // The push waits on this lock after its measurements and downloads are in
    // its transaction, before the protocols' measurements.
    auto holder = ConnectTo(conninfo_);
    holder->Exec("begin");
    holder->Exec("lock table protocol_measurements in access exclusive mode");
    ProcessResult pushed;
    std::thread push([&] { pushed = Cli({"--db", db, "archive", "push", "--archive", conninfo_}); });
    bool waiting = false;
    for (int i = 0; i < 200 && !waiting; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        waiting = Rows(Archive(), "select count(*) from pg_stat_activity where application_name = 'zorvex' and "
                                "wait_event_type = 'Lock'")[0] == "1";
    }
    EXPECT_TRUE(waiting);
    server_->Stop();
    push.join();
    holder.reset();
    server_->Start();
    Reconnect();
    EXPECT_EQ(pushed.status, 1) << pushed.out << pushed.err;
    EXPECT_NE(pushed.err.find("Связь с сервером архива"), std::string::npos) << pushed.err;
    EXPECT_EQ(Rows(Archive(), "select (select count(*) from measurements), (select count(*) from downloads), "
                              "(select count(*) from workstations)"),
              std::vector<std::string>{"0\t0\t0"});
    EXPECT_EQ(RawRows(db, "select count(*) from archivesent")[0][0], "0");

    const ProcessResult again = Cli({"--db", db, "archive", "push"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Rows(Archive(), "select (select count(*) from measurements), (select count(*) from downloads), "
                              "(select count(*) from protocols), (select count(*) from protocol_measurements)"),
              std::vector<std::string>{"200\t2\t2\t6"});
}

}  // namespace
