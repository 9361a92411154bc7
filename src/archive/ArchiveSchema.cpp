#include "archive/ArchiveSchema.h"

#include <array>

#include "archive/PgConnection.h"
#include "archive/Workstation.h"

namespace zorvex::archive {
namespace {

// Version 1. Rows are keyed by the workstation that made them and their row
// id in that workstation's data.db, so a push repeated or resumed finds what
// it already stored. The protocol register is the unique index on the year of
// the protocol's date and its number text as stored (trimmed); an empty
// number registers nothing.
constexpr std::array kVersion1 = {
    "create table workstations (id text primary key, host text not null, username text not null, "
    "first_push timestamptz not null default now(), last_push timestamptz not null default now())",
    // No foreign key on the workstation: its check per row would double the
    // cost of a year's push; the push adds the workstation in its own transaction.
    "create table measurements (id bigserial primary key, workstation text not null, "
    "local_id integer not null, number integer not null, workplace integer not null, height integer not null, "
    "method smallint not null, kind smallint not null, time timestamp not null, mvalue double precision not null, "
    "evalue double precision not null, mvalue2 double precision not null, evalue2 double precision not null, "
    "band smallint not null, rejection smallint not null, serialnumber integer, "
    "pushed timestamptz not null default now(), unique (workstation, local_id))",
    "create index measurements_time on measurements (time)",
    "create table downloads (id bigserial primary key, workstation text not null references workstations(id), "
    "local_id integer not null, time timestamp not null, link text not null, serialnumber integer, firmware text, "
    "calibrationdate timestamp, added integer not null, skipped integer not null, imagefile text, image bytea, "
    "fingerprint text, pushed timestamptz not null default now(), unique (workstation, local_id))",
    "create table download_records (download bigint not null references downloads(id) on delete cascade, "
    "workstation text not null, local_id integer not null, primary key (download, workstation, local_id))",
    "create index download_records_measurement on download_records (workstation, local_id)",
    "create table protocols (id bigserial primary key, workstation text not null references workstations(id), "
    "local_id integer not null, number text not null, number_text text not null, year integer not null, "
    "date_text text not null, "
    "date timestamp, org text not null, consts text not null, tabdata text not null, username text not null, "
    "digest text not null, has_file boolean not null, file_fingerprint text, pushed timestamptz not null default now(), "
    "unique (workstation, local_id))",
    "create unique index protocols_register on protocols (year, number) where number <> ''",
    "create index protocols_date on protocols (date)",
    "create table protocol_measurements (protocol bigint not null references protocols(id) on delete cascade, "
    "position integer not null, method smallint not null, kind smallint not null, number integer not null, "
    "workplace integer not null, height integer not null, time timestamp not null, "
    "mvalue double precision not null, evalue double precision not null, mvalue2 double precision not null, "
    "evalue2 double precision not null, band smallint not null, rejection smallint not null, "
    "primary key (protocol, position))",
    // The audit log of a workstation, where its data.db keeps one: each entry as it was written there.
    "create table audit_entries (workstation text not null references workstations(id), local_id bigint not null, "
    "fields jsonb not null, pushed timestamptz not null default now(), primary key (workstation, local_id))",
};

constexpr const char* kInfoTable =
    "create table zorvex_archive (name text primary key, value text not null)";

int VersionOf(TPgConnection& conn) {
    if (conn.Exec("select to_regclass('zorvex_archive') is not null").Text(0, 0) != "t") return 0;
    const TPgResult r = conn.Exec("select value from zorvex_archive where name = 'version'");
    if (r.Rows() == 0) return 0;
    return static_cast<int>(r.Int(0, 0));
}

[[noreturn]] void RefuseNewer(int version) {
    throw EArchiveError("Архив лаборатории создан более новой версией программы (версия схемы " +
                        std::to_string(version) + ", эта программа знает версию " +
                        std::to_string(kArchiveSchemaVersion) + "): обновите программу");
}

}  // namespace

TInitOutcome InitArchive(TPgConnection& conn) {
    TInitOutcome outcome;
    RunInPgTransaction(conn, [&] {
        // Two inits at once: the second waits here and then finds the tables.
        conn.Exec("select pg_advisory_xact_lock(7726100)");
        outcome.previousVersion = VersionOf(conn);
        if (outcome.previousVersion > kArchiveSchemaVersion) RefuseNewer(outcome.previousVersion);
        if (outcome.previousVersion == kArchiveSchemaVersion) return;
        if (outcome.previousVersion == 0) {
            if (conn.Exec("select count(*) from pg_tables where schemaname = current_schema() and tablename in "
                          "('workstations', 'measurements', 'downloads', 'protocols')")
                    .Int(0, 0) > 0)
                throw EArchiveError("В базе данных " + conn.Target() +
                                    " уже есть таблицы, не созданные программой: для архива нужна отдельная база");
            conn.Exec(kInfoTable);
            for (const char* sql : kVersion1) conn.Exec(sql);
            conn.Exec("insert into zorvex_archive (name, value) values ('id', $1)", {NewRandomId()});
            conn.Exec("insert into zorvex_archive (name, value) values ('version', $1)",
                      {std::to_string(kArchiveSchemaVersion)});
        }
        // Later versions add their steps here, each from the one before.
    });
    return outcome;
}

std::string CheckArchive(TPgConnection& conn) {
    const int version = VersionOf(conn);
    if (version == 0)
        throw EArchiveError("Архив " + conn.Target() + " не создан: выполните zorvex-cli archive init");
    if (version > kArchiveSchemaVersion) RefuseNewer(version);
    if (version < kArchiveSchemaVersion)
        throw EArchiveError("Архив " + conn.Target() + " создан прежней версией программы (версия схемы " +
                            std::to_string(version) + "): обновите его командой zorvex-cli archive init");
    return conn.Exec("select value from zorvex_archive where name = 'id'").Text(0, 0);
}

}  // namespace zorvex::archive
