#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exceptions.h"

struct pg_conn;
struct pg_result;

namespace zorvex::archive {

// A failure of the lab archive; the message is Russian and never holds a password.
class EArchiveError : public Exception {
public:
    explicit EArchiveError(std::string message, std::string sqlState = {})
        : Exception(std::move(message)), sqlState_(std::move(sqlState)) {}
    // The server's five-character SQLSTATE, empty when there is none.
    const std::string& SqlState() const noexcept { return sqlState_; }

private:
    std::string sqlState_;
};

// Why a connection could not be made.
enum class TConnectFailure { NoServer, PasswordNeeded, WrongPassword, TlsNotOffered, Other };

class EArchiveConnectError : public EArchiveError {
public:
    EArchiveConnectError(std::string message, TConnectFailure failure)
        : EArchiveError(std::move(message)), failure_(failure) {}
    TConnectFailure Failure() const noexcept { return failure_; }

private:
    TConnectFailure failure_;
};

// One statement parameter: text (UTF-8) or raw bytes sent in binary form
// (bytea); nothing stands for SQL null.
struct TPgParam {
    std::optional<std::string> value;
    bool binary = false;
    TPgParam() = default;
    TPgParam(std::nullopt_t) {}
    TPgParam(std::string text) : value(std::move(text)) {}
    TPgParam(const char* text) : value(std::string(text)) {}
    TPgParam(std::optional<std::string> text) : value(std::move(text)) {}
    static TPgParam Integer(std::int64_t v) { return TPgParam(std::to_string(v)); }
    static TPgParam Float(double v);
    static TPgParam Bytes(std::string bytes) {
        TPgParam p(std::move(bytes));
        p.binary = true;
        return p;
    }
};
using TPgParams = std::vector<TPgParam>;

// The rows of one result, in text form.
class TPgResult {
public:
    explicit TPgResult(pg_result* result);
    int Rows() const;
    int Columns() const;
    bool IsNull(int row, int column) const;
    std::string Text(int row, int column) const;
    std::optional<std::string> OptionalText(int row, int column) const;
    std::int64_t Int(int row, int column) const;
    std::optional<std::int64_t> OptionalInt(int row, int column) const;
    double Float(int row, int column) const;

private:
    struct Free {
        void operator()(pg_result* r) const;
    };
    std::unique_ptr<pg_result, Free> result_;
};

// One connection to the archive's server. Every statement goes with its
// values as parameters; no SQL text is ever made from data.
class TPgConnection {
public:
    // `conninfo` is a libpq connection string or URI; `password`, when given,
    // is used for this connection only. Raises EArchiveConnectError with the
    // cause in Russian.
    static std::unique_ptr<TPgConnection> Connect(const std::string& conninfo,
                                                  const std::optional<std::string>& password = std::nullopt);
    ~TPgConnection();
    TPgConnection(const TPgConnection&) = delete;
    TPgConnection& operator=(const TPgConnection&) = delete;

    TPgResult Exec(const std::string& sql, const TPgParams& params = {});
    // COPY ... FROM STDIN with rows already in COPY text form (EscapeCopy).
    void CopyIn(const std::string& copySql, const std::string& rows);

    void Begin() { Exec("begin"); }
    void Commit() { Exec("commit"); }
    // Rolls back, never raising: the connection may be gone already.
    void RollbackQuietly() noexcept;

    // "host:port/database" as the connection sees it, for messages.
    std::string Target() const;
    std::string User() const;

private:
    explicit TPgConnection(pg_conn* conn) : conn_(conn) {}
    [[noreturn]] void Raise(const std::string& what, pg_result* result);
    pg_conn* conn_;
};

// Runs `work` in one transaction; rolled back when it raises.
void RunInPgTransaction(TPgConnection& conn, const std::function<void()>& work);

// A field in COPY text form: backslash, tab, line breaks escaped; \N for null.
std::string EscapeCopy(std::string_view text);
inline constexpr const char* kCopyNull = "\\N";

// The connection string with any password removed, as it may be kept in
// data.db; raises EArchiveError for a string libpq cannot read.
std::string ConnInfoWithoutPassword(const std::string& conninfo);
// Whether the connection string itself carries a password.
bool ConnInfoHasPassword(const std::string& conninfo);

}  // namespace zorvex::archive
