// The forms of the `database` setting, checked before any store is opened.
#ifndef TALLYGATE_COLLECTOR_CONFIG_DATABASE_TEXT_H_
#define TALLYGATE_COLLECTOR_CONFIG_DATABASE_TEXT_H_

#include <string_view>

namespace tallygate::collector {

// Accepts empty (the default SQLite file), "sqlite:PATH", a file path (one
// with a '/' or a file extension), a "postgresql://" or "postgres://" URI
// and a PostgreSQL "key=value ..." string. Throws InputError
// otherwise; the message never repeats the user name and password.
void CheckDatabaseText(std::string_view text);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_DATABASE_TEXT_H_
