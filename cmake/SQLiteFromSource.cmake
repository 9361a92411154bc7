# SQLite as a static library built from a Debian source tree of sqlite3
# (`apt-get source sqlite3`; scripts/install-deps --windows puts one in
# /usr/local/src/sqlite3), for systems that have no SQLite package, such as the
# cross build for Windows. The tree has no amalgamation: its own configure and
# `make sqlite3.c` make one with the build machine's compiler and tclsh, once
# per build directory, and the target's compiler builds that.
enable_language(C)

set(amalgamation "${PROJECT_BINARY_DIR}/sqlite3-amalgamation")
if(NOT EXISTS "${ZORVEX_SQLITE_SOURCE_DIR}/configure" OR NOT EXISTS "${ZORVEX_SQLITE_SOURCE_DIR}/tool/mksqlite3c.tcl")
  message(FATAL_ERROR "ZORVEX_SQLITE_SOURCE_DIR=${ZORVEX_SQLITE_SOURCE_DIR} is no sqlite3 source tree "
                      "(scripts/install-deps --windows fetches Debian's)")
endif()
if(NOT EXISTS "${amalgamation}/sqlite3.c" OR NOT EXISTS "${amalgamation}/sqlite3.h")
  message(STATUS "Making the SQLite amalgamation from ${ZORVEX_SQLITE_SOURCE_DIR}")
  file(MAKE_DIRECTORY "${amalgamation}")
  # The build machine's tools, whatever compiler this project is configured with.
  execute_process(
    COMMAND env -u CC -u CFLAGS -u CPPFLAGS -u LDFLAGS
            sh "${ZORVEX_SQLITE_SOURCE_DIR}/configure" --disable-tcl --disable-readline
    WORKING_DIRECTORY "${amalgamation}"
    OUTPUT_FILE "${amalgamation}/configure.log" ERROR_FILE "${amalgamation}/configure.log"
    RESULT_VARIABLE configured)
  if(configured EQUAL 0)
    execute_process(
      COMMAND make sqlite3.c
      WORKING_DIRECTORY "${amalgamation}"
      OUTPUT_FILE "${amalgamation}/make.log" ERROR_FILE "${amalgamation}/make.log"
      RESULT_VARIABLE made)
  endif()
  if(NOT configured EQUAL 0 OR NOT made EQUAL 0 OR NOT EXISTS "${amalgamation}/sqlite3.c")
    file(REMOVE "${amalgamation}/sqlite3.c")
    message(FATAL_ERROR "the SQLite amalgamation could not be made: see ${amalgamation}/configure.log and make.log")
  endif()
endif()

add_library(zorvex_sqlite3 STATIC "${amalgamation}/sqlite3.c")
target_include_directories(zorvex_sqlite3 SYSTEM PUBLIC "${amalgamation}")
# The options of Debian's libsqlite3 (debian/rules), so that SQL behaves as on
# Linux; all but UPDATE/DELETE ... LIMIT, which needs the grammar rebuilt.
target_compile_definitions(zorvex_sqlite3 PRIVATE
  SQLITE_SECURE_DELETE SQLITE_ENABLE_COLUMN_METADATA SQLITE_ENABLE_FTS3 SQLITE_ENABLE_FTS3_PARENTHESIS
  SQLITE_ENABLE_RTREE=1 SQLITE_SOUNDEX=1 SQLITE_ENABLE_UNLOCK_NOTIFY SQLITE_OMIT_LOOKASIDE=1
  SQLITE_ENABLE_DBSTAT_VTAB SQLITE_ALLOW_ROWID_IN_VIEW SQLITE_ENABLE_LOAD_EXTENSION SQLITE_ENABLE_JSON1
  SQLITE_LIKE_DOESNT_MATCH_BLOBS SQLITE_THREADSAFE=1 SQLITE_ENABLE_FTS3_TOKENIZER=1 SQLITE_USE_URI=1
  SQLITE_MAX_SCHEMA_RETRY=25 SQLITE_ENABLE_PREUPDATE_HOOK SQLITE_ENABLE_SESSION SQLITE_ENABLE_STMTVTAB
  SQLITE_MAX_VARIABLE_NUMBER=250000)
# The library is not ours: its warnings are not ours to mend.
target_compile_options(zorvex_sqlite3 PRIVATE $<IF:$<C_COMPILER_ID:MSVC>,/w,-w>)
add_library(SQLite::SQLite3 ALIAS zorvex_sqlite3)
