#include "collector/store/sqlite_store.h"

#include "collector/store/sql_store.h"
#include "collector/store/sqlite_session.h"

namespace tallygate::collector {
namespace {

class SqliteStore final : public SqlStore {
 public:
  SqliteStore(std::unique_ptr<SqlSession> session, std::string described)
      : SqlStore(std::move(session), std::move(described)) {
    Migrate(SqliteSchema());
  }

  bool ClaimTerminal(const std::string&) override { return true; }
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::filesystem::path& file) {
  const std::string described = "sqlite:" + file.string();
  std::unique_ptr<SqlSession> session;
  try {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    session = std::make_unique<SqliteSession>(file);
  } catch (const std::filesystem::filesystem_error& error) {
    throw StoreError(described + ": cannot create the folder: " + error.code().message());
  } catch (const StoreError& error) {
    throw StoreError(described + ": " + error.what());
  }
  return std::make_unique<SqliteStore>(std::move(session), described);
}

}  // namespace tallygate::collector
