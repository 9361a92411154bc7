#include "archive/PgConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <cmath>

namespace zorvex::archive {
namespace {

void IgnoreNotice(void*, const char*) {}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool Contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

std::string TargetOf(PGconn* conn) {
    const char* host = PQhost(conn);
    const char* port = PQport(conn);
    const char* db = PQdb(conn);
    std::string target = host && *host ? host : "localhost";
    if (port && *port) target += ":" + std::string(port);
    if (db && *db) target += "/" + std::string(db);
    return target;
}

// The sslmode the connection string asks for, "prefer" when it names none.
std::string SslModeOf(PGconn* conn) {
    std::string mode = "prefer";
    if (PQconninfoOption* options = PQconninfo(conn)) {
        for (PQconninfoOption* o = options; o->keyword; ++o)
            if (std::string_view(o->keyword) == "sslmode" && o->val) mode = o->val;
        PQconninfoFree(options);
    }
    return mode;
}

[[noreturn]] void RaiseConnectFailure(PGconn* conn) {
    const std::string target = TargetOf(conn);
    const char* user = PQuser(conn);
    const std::string userName = user ? user : "";
    // libpq's own text, in the language of the process; it never holds the password.
    const std::string detail = Trimmed(PQerrorMessage(conn));
    const std::string sslMode = SslModeOf(conn);
    const bool tlsDemanded = sslMode == "require" || sslMode == "verify-ca" || sslMode == "verify-full";
    if (PQconnectionNeedsPassword(conn))
        throw EArchiveConnectError("Сервер архива " + target + " требует пароль пользователя «" + userName +
                                       "»: укажите его в ~/.pgpass (или в файле PGPASSFILE) либо введите при подключении",
                                   TConnectFailure::PasswordNeeded);
    if (PQconnectionUsedPassword(conn))
        throw EArchiveConnectError("Сервер архива " + target + " не принял пароль пользователя «" + userName + "»",
                                   TConnectFailure::WrongPassword);
    if (tlsDemanded && Contains(detail, "SSL"))
        throw EArchiveConnectError("Сервер архива " + target + " не предлагает защищённое соединение (TLS), а "
                                       "подключение требует его (sslmode=" + sslMode + ")",
                                   TConnectFailure::TlsNotOffered);
    if (Contains(detail, "could not connect") || Contains(detail, "Connection refused") ||
        Contains(detail, "No such file") || Contains(detail, "timeout") || Contains(detail, "could not translate") ||
        Contains(detail, "подключиться") || Contains(detail, "не удалось"))
        throw EArchiveConnectError("Сервер архива " + target + " недоступен: он не запущен или адрес указан неверно (" +
                                       detail + ")",
                                   TConnectFailure::NoServer);
    throw EArchiveConnectError("Не удалось подключиться к архиву " + target + ": " + detail, TConnectFailure::Other);
}

struct ConnInfoOptions {
    PQconninfoOption* options = nullptr;
    explicit ConnInfoOptions(const std::string& conninfo) {
        char* error = nullptr;
        options = PQconninfoParse(conninfo.c_str(), &error);
        if (!options) {
            std::string message = error ? Trimmed(error) : "нехватка памяти";
            if (error) PQfreemem(error);
            throw EArchiveError("Строка подключения к архиву не читается: " + message);
        }
    }
    ~ConnInfoOptions() { PQconninfoFree(options); }
    ConnInfoOptions(const ConnInfoOptions&) = delete;
    ConnInfoOptions& operator=(const ConnInfoOptions&) = delete;
};

}  // namespace

TPgParam TPgParam::Float(double v) {
    if (std::isnan(v)) return TPgParam("NaN");
    if (std::isinf(v)) return TPgParam(v > 0 ? "Infinity" : "-Infinity");
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return TPgParam(std::string(buffer, r.ptr));
}

void TPgResult::Free::operator()(pg_result* r) const { PQclear(r); }

TPgResult::TPgResult(pg_result* result) : result_(result) {}
int TPgResult::Rows() const { return PQntuples(result_.get()); }
int TPgResult::Columns() const { return PQnfields(result_.get()); }
bool TPgResult::IsNull(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }
std::string TPgResult::Text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}
std::optional<std::string> TPgResult::OptionalText(int row, int column) const {
    if (IsNull(row, column)) return std::nullopt;
    return Text(row, column);
}
std::int64_t TPgResult::Int(int row, int column) const {
    const std::string text = Text(row, column);
    std::int64_t value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        throw EArchiveError("Архив вернул не число: «" + text + "»");
    return value;
}
std::optional<std::int64_t> TPgResult::OptionalInt(int row, int column) const {
    if (IsNull(row, column)) return std::nullopt;
    return Int(row, column);
}
double TPgResult::Float(int row, int column) const {
    const std::string text = Text(row, column);
    if (text == "NaN") return std::nan("");
    if (text == "Infinity") return HUGE_VAL;
    if (text == "-Infinity") return -HUGE_VAL;
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        throw EArchiveError("Архив вернул не число: «" + text + "»");
    return value;
}

std::unique_ptr<TPgConnection> TPgConnection::Connect(const std::string& conninfo,
                                                      const std::optional<std::string>& password) {
    // Read first, so that a malformed string is reported as such.
    { ConnInfoOptions check(conninfo); }
    // The string is expanded in place of dbname; the keywords after it win.
    std::vector<const char*> keywords = {"dbname", "client_encoding", "application_name"};
    std::vector<const char*> values = {conninfo.c_str(), "UTF8", "zorvex"};
    if (password) {
        keywords.push_back("password");
        values.push_back(password->c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (!conn) throw EArchiveError("Не удалось подключиться к архиву: нехватка памяти");
    if (PQstatus(conn) != CONNECTION_OK) {
        try {
            RaiseConnectFailure(conn);
        } catch (...) {
            PQfinish(conn);
            throw;
        }
    }
    PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
    return std::unique_ptr<TPgConnection>(new TPgConnection(conn));
}

TPgConnection::~TPgConnection() { PQfinish(conn_); }

std::string TPgConnection::Target() const { return TargetOf(conn_); }
std::string TPgConnection::User() const {
    const char* user = PQuser(conn_);
    return user ? user : "";
}

void TPgConnection::Raise(const std::string& what, pg_result* result) {
    std::string state;
    std::string message = Trimmed(PQerrorMessage(conn_));
    if (result) {
        if (const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE)) state = s;
        if (const char* m = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) message = m;
        PQclear(result);
    }
    if (PQstatus(conn_) != CONNECTION_OK || state.starts_with("08") || state == "57P01" || state == "57P02" ||
        state == "57P03")
        throw EArchiveError("Связь с сервером архива " + Target() + " прервана: " + message, state);
    throw EArchiveError(what + ": " + message, state);
}

TPgResult TPgConnection::Exec(const std::string& sql, const TPgParams& params) {
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    values.reserve(params.size());
    for (const TPgParam& p : params) {
        values.push_back(p.value ? p.value->data() : nullptr);
        lengths.push_back(p.value ? static_cast<int>(p.value->size()) : 0);
        formats.push_back(p.binary ? 1 : 0);
    }
    PGresult* result = PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr, values.data(),
                                    lengths.data(), formats.data(), 0);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Raise("Ошибка архива", result);
    return TPgResult(result);
}

void TPgConnection::CopyIn(const std::string& copySql, const std::string& rows) {
    PGresult* start = PQexec(conn_, copySql.c_str());
    if (!start || PQresultStatus(start) != PGRES_COPY_IN) Raise("Ошибка архива", start);
    PQclear(start);
    // In pieces, so a large batch does not sit twice in memory inside libpq.
    constexpr std::size_t kPiece = 1 << 20;
    bool sent = true;
    for (std::size_t at = 0; at < rows.size() && sent; at += kPiece) {
        const std::size_t n = std::min(kPiece, rows.size() - at);
        sent = PQputCopyData(conn_, rows.data() + at, static_cast<int>(n)) == 1;
    }
    if (PQputCopyEnd(conn_, sent ? nullptr : "aborted") != 1) Raise("Ошибка архива", nullptr);
    PGresult* last = nullptr;
    bool failed = false;
    while (PGresult* r = PQgetResult(conn_)) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK) {
            if (last) PQclear(last);
            last = r;
            failed = true;
        } else {
            PQclear(r);
        }
    }
    if (failed || !sent) Raise("Ошибка архива", last);
}

void TPgConnection::RollbackQuietly() noexcept {
    if (PQstatus(conn_) != CONNECTION_OK) return;
    if (PGresult* r = PQexec(conn_, "rollback")) PQclear(r);
}

void RunInPgTransaction(TPgConnection& conn, const std::function<void()>& work) {
    conn.Begin();
    try {
        work();
        conn.Commit();
    } catch (...) {
        conn.RollbackQuietly();
        throw;
    }
}

std::string EscapeCopy(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::string ConnInfoWithoutPassword(const std::string& conninfo) {
    ConnInfoOptions parsed(conninfo);
    std::string out;
    for (PQconninfoOption* o = parsed.options; o->keyword; ++o) {
        if (!o->val || std::string_view(o->keyword) == "password") continue;
        std::string value;
        for (const char c : std::string_view(o->val)) {
            if (c == '\\' || c == '\'') value += '\\';
            value += c;
        }
        if (!out.empty()) out += ' ';
        out += std::string(o->keyword) + "='" + value + "'";
    }
    return out;
}

bool ConnInfoHasPassword(const std::string& conninfo) {
    ConnInfoOptions parsed(conninfo);
    for (PQconninfoOption* o = parsed.options; o->keyword; ++o)
        if (std::string_view(o->keyword) == "password" && o->val) return true;
    return false;
}

}  // namespace zorvex::archive
