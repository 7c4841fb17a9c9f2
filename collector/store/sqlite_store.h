// The store in a SQLite file. One collector writes a file: ClaimTerminal is
// always true, and two services on one file would poll the same terminals
// (the punches stay once each; the marks and the polling would not agree).
#ifndef TALLYGATE_COLLECTOR_STORE_SQLITE_STORE_H_
#define TALLYGATE_COLLECTOR_STORE_SQLITE_STORE_H_

#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

#include "collector/store/store.h"

namespace tallygate::collector {

// Opens or creates the file (its folder too) and brings its schema up to
// date. Throws StoreError.
std::unique_ptr<Store> OpenSqliteStore(const std::filesystem::path& file);

// The schema: the statements that make each version from the one before
// (sqlite_schema.cpp).
std::span<const std::string_view> SqliteSchema();

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SQLITE_STORE_H_
