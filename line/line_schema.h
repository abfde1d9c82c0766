#pragma once
// The line's schema: numbered SQL migrations shipped with the program, applied in order and
// recorded in schema_migrations, so that applying them again changes nothing.
#include "pq.h"

#include <string>
#include <vector>

struct LineMigration {
    int number;
    const char* name;
    const char* sql;
};
const std::vector<LineMigration>& LineMigrations();

// Applies the migrations the database lacks, each in a transaction of its own. `applied` gets how
// many were applied now.
bool ApplyLineMigrations(pq::Connection& conn, int* applied, std::string* error);

// The command line's --line-migrate: the process exit code and a line for the operator.
int LineMigrateCommand(const std::string& conninfo, std::string* message);
