// Rewrites the T-SQL texts the program builds into SQLite's dialect.
#pragma once

#include <string>
#include <string_view>

namespace db {

// Pure function: isnull -> ifnull, getdate(), dateadd(), year(), dbo./[dbo]. prefixes,
// sys.sysprocesses, 'dd/MM/yyyy[ HH:mm:ss[:fff]]' literals -> ISO text, and
// "UPDATE t SET t.c = ... FROM a INNER JOIN t ON cond WHERE w" -> SQLite's UPDATE FROM.
std::string TsqlToSqlite(std::string_view tsql);

}  // namespace db
