#pragma once
// What an ODBC driver says when a connect or a statement fails, turned into the database layer's
// classified errors: a rejected login, an unreachable server, a refused read, or another failure.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>

#include "db/database.h"

namespace nurv::db {

[[noreturn]] void FailConnect(SQLSMALLINT type, SQLHANDLE handle, const ConnectParams& params);

// The statement's own records, or the connection's when the statement has none.
[[noreturn]] void FailStatement(SQLHANDLE stmt, SQLHANDLE dbc);

}  // namespace nurv::db
