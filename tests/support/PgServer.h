#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zorvex::test {

// A throw-away PostgreSQL cluster for tests: initdb and pg_ctl from the
// system's PostgreSQL in a fresh temporary directory, listening only on a
// Unix socket in that directory (no TCP address at all), trust for its
// superuser "zorvex". Run as an unprivileged user when the tests run as root,
// since the server refuses root. Stopped and removed with the object.
class PgServer {
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // One cluster per test program, started on first use.
    static PgServer& Shared();

    // False when the PostgreSQL programs are not installed; Problem() says why.
    bool Available() const { return available_; }
    const std::string& Problem() const { return problem_; }

    const std::filesystem::path& SocketDirectory() const { return directory_; }
    // A libpq connection string to `database` on this cluster as `user`.
    std::string ConnInfo(const std::string& database, const std::string& user = "zorvex") const;

    // pg_ctl stop -m immediate: the server goes at once, as in a crash.
    void Stop();
    void Start();
    // Puts `line` first in pg_hba.conf and has the server read it again.
    void PrependHbaLine(const std::string& line);

private:
    void StopAbandonedClusters();
    int Run(const std::string& program, const std::vector<std::string>& args, std::string* output = nullptr) const;

    bool available_ = false;
    bool running_ = false;
    std::string problem_;
    std::filesystem::path binDirectory_;
    std::filesystem::path directory_;
};

}  // namespace zorvex::test
