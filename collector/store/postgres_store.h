// The store in a PostgreSQL database, which several collectors may share:
// each polls the terminals it claims. A claim is a session-level advisory
// lock, so it ends with the collector's connection; when the connection is
// made again the claims are taken again, and a terminal another collector
// took meanwhile is refused to StorePage and ResetMark. Sinks are claimed
// alike, and a sink's state is saved only by the session holding its claim.
// A collector that joins the others holds a lock of its own too, beside its
// row in the collectors table: the claims of its session are its own, and
// the row names it (postgres_claims.h).
#ifndef TALLYGATE_COLLECTOR_STORE_POSTGRES_STORE_H_
#define TALLYGATE_COLLECTOR_STORE_POSTGRES_STORE_H_

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "collector/store/store.h"

namespace tallygate::collector {

// The channel a collector notifies when it has stored punches.
inline constexpr std::string_view kPunchesChannel = "tallygate_punches";

// `database` is a postgresql:// URI or a key=value connection string.
// Connects and brings the schema up to date. Throws StoreError.
std::unique_ptr<Store> OpenPostgresStore(const std::string& database);

// Listens on kPunchesChannel of `database`. Throws StoreError.
std::unique_ptr<PunchNews> ListenForPostgresPunches(const std::string& database);

// The schema: the statements that make each version from the one before
// (postgres_schema.cpp).
std::span<const std::string_view> PostgresSchema();

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_POSTGRES_STORE_H_
