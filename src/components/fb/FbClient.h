// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The client library's entry points, resolved at run time.

#include <ibase.h>

#include <string>
#include <vector>

namespace fb::client {

#define FB_CLIENT_FUNCTIONS(X)                                                                     \
    X(isc_attach_database)                                                                         \
    X(isc_detach_database)                                                                         \
    X(isc_database_info)                                                                           \
    X(isc_start_multiple)                                                                          \
    X(isc_commit_transaction)                                                                      \
    X(isc_rollback_transaction)                                                                    \
    X(isc_dsql_allocate_statement)                                                                 \
    X(isc_dsql_prepare)                                                                            \
    X(isc_dsql_describe)                                                                           \
    X(isc_dsql_describe_bind)                                                                      \
    X(isc_dsql_execute)                                                                            \
    X(isc_dsql_execute2)                                                                           \
    X(isc_dsql_fetch)                                                                              \
    X(isc_dsql_free_statement)                                                                     \
    X(isc_dsql_sql_info)                                                                           \
    X(isc_dsql_execute_immediate)                                                                  \
    X(isc_create_blob2)                                                                            \
    X(isc_open_blob2)                                                                              \
    X(isc_put_segment)                                                                             \
    X(isc_get_segment)                                                                             \
    X(isc_close_blob)                                                                              \
    X(isc_cancel_blob)                                                                             \
    X(isc_decode_sql_date)                                                                         \
    X(isc_decode_sql_time)                                                                         \
    X(isc_decode_timestamp)                                                                        \
    X(isc_vax_integer)                                                                             \
    X(fb_interpret)

struct Api {
// NOLINTNEXTLINE(bugprone-macro-parentheses): the second name is a declarator, none allowed
#define FB_DECLARE(name) decltype(&::name) name = nullptr;
    FB_CLIENT_FUNCTIONS(FB_DECLARE)
#undef FB_DECLARE
};

// Points the embedded engine's lock files at the user's own folder (the
// variable FIREBIRD_LOCK) unless one is set already. api() does it before
// loading; a caller that attaches on another thread calls it first itself, as
// setenv must not run beside other threads' getenv.
void chooseLockDirectory();

// Loads the library on first use; throws fb::Error when it or one of its
// entry points is missing.
const Api& api();

// Where the texts in a status vector come from. On an attached database the
// engine gives them in the connection's character set (Windows-1251); an
// attach or create that failed names the file as the file system has it
// (UTF-8). System errors are the C library's, in the locale's codeset.
enum class Texts { Connection, FileSystem };

// Throws fb::Error built from the whole status vector when it holds an error;
// its text is Windows-1251 like every other error text.
void check(const ISC_STATUS* status, Texts texts = Texts::Connection);

} // namespace fb::client
