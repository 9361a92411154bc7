#include "support/PgServer.h"

#ifndef _WIN32
#include <fcntl.h>
#include <csignal>
#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>


namespace zorvex::test {
namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
// The newest installed major version's programs.
fs::path FindBinDirectory() {
    fs::path best;
    int bestVersion = -1;
    std::error_code ec;
    for (fs::directory_iterator it("/usr/lib/postgresql", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path bin = it->path() / "bin";
        if (!fs::exists(bin / "initdb") || !fs::exists(bin / "pg_ctl")) continue;
        int version = 0;
        try {
            version = std::stoi(it->path().filename().string());
        } catch (...) {
        }
        if (version > bestVersion) {
            bestVersion = version;
            best = bin;
        }
    }
    return best;
}

constexpr unsigned kNobody = 65534;
#endif

}  // namespace

PgServer& PgServer::Shared() {
    static PgServer server;
    return server;
}

PgServer::PgServer() {
#ifdef _WIN32
    problem_ = "тестовый сервер PostgreSQL запускается только в Linux";
#else
    binDirectory_ = FindBinDirectory();
    if (binDirectory_.empty()) {
        problem_ = "PostgreSQL не установлен (нет /usr/lib/postgresql/*/bin/initdb): scripts/install-deps";
        return;
    }
    StopAbandonedClusters();
    std::random_device rd;
    for (;;) {
        directory_ = fs::temp_directory_path() / ("zorvex-pg-" + std::to_string(rd()));
        if (fs::create_directory(directory_)) break;
    }
    std::ofstream(directory_ / "owner.pid") << getpid();
    if (geteuid() == 0 && chown(directory_.c_str(), kNobody, kNobody) != 0)
        throw std::runtime_error("cannot hand " + directory_.string() + " to nobody");
    std::string output;
    if (Run("initdb", {"-D", (directory_ / "data").string(), "-U", "zorvex", "--auth=trust", "--encoding=UTF8",
                       "--locale=C.UTF-8", "--no-sync"},
            &output) != 0)
        throw std::runtime_error("initdb failed: " + output);
    available_ = true;
    Start();
#endif
}

void PgServer::StopAbandonedClusters() {
#ifndef _WIN32
    // A test program that crashed left its cluster running: stopped here, by
    // the next one, once its owner is gone.
    std::error_code ec;
    for (fs::directory_iterator it(fs::temp_directory_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with("zorvex-pg-")) continue;
        pid_t owner = 0;
        std::ifstream(it->path() / "owner.pid") >> owner;
        if (owner <= 0 || kill(owner, 0) == 0 || errno != ESRCH) continue;
        const fs::path saved = directory_;
        directory_ = it->path();
        std::string output;
        Run("pg_ctl", {"-D", (directory_ / "data").string(), "-m", "immediate", "-w", "stop"}, &output);
        directory_ = saved;
        std::error_code removal;
        fs::remove_all(it->path(), removal);
    }
#endif
}

PgServer::~PgServer() {
    if (running_) Stop();
    std::error_code ec;
    if (!directory_.empty()) fs::remove_all(directory_, ec);
}

int PgServer::Run(const std::string& program, const std::vector<std::string>& args, std::string* output) const {
#ifdef _WIN32
    (void)program;
    (void)args;
    (void)output;
    return -1;
#else
    // Its own fork rather than RunProcess: the server that pg_ctl starts
    // would keep a captured output pipe open for as long as it runs.
    const std::string path = (binDirectory_ / program).string();
    std::vector<std::string> all;
    if (geteuid() == 0) all = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    all.push_back(path);
    all.insert(all.end(), args.begin(), args.end());
    const fs::path log = directory_ / ("." + program + ".out");
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (devNull < 0 || out < 0) _exit(127);
        dup2(devNull, 0);
        dup2(out, 1);
        dup2(out, 2);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    if (output) {
        std::stringstream text;
        text << std::ifstream(log).rdbuf();
        *output = text.str();
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

void PgServer::Start() {
    std::string output;
    // No TCP address: only the socket in the private directory.
    if (Run("pg_ctl", {"-D", (directory_ / "data").string(), "-l", (directory_ / "server.log").string(), "-w", "-o",
                       "-k " + directory_.string() + " -c listen_addresses= -p 5432 -F -c max_connections=40",
                       "start"},
            &output) != 0)
        throw std::runtime_error("pg_ctl start failed: " + output);
    running_ = true;
}

void PgServer::Stop() {
    std::string output;
    Run("pg_ctl", {"-D", (directory_ / "data").string(), "-m", "immediate", "-w", "stop"}, &output);
    running_ = false;
}

void PgServer::PrependHbaLine(const std::string& line) {
    const fs::path hba = directory_ / "data" / "pg_hba.conf";
    std::stringstream old;
    old << std::ifstream(hba).rdbuf();
    std::ofstream(hba, std::ios::trunc) << line << "\n" << old.str();
    std::string output;
    Run("pg_ctl", {"-D", (directory_ / "data").string(), "reload"}, &output);
}

std::string PgServer::ConnInfo(const std::string& database, const std::string& user) const {
    return "host=" + directory_.string() + " port=5432 dbname=" + database + " user=" + user;
}

}  // namespace zorvex::test
