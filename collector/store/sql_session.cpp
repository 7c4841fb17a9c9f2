#include "collector/store/sql_session.h"

#include "collector/store/store.h"

namespace tallygate::collector {

void RethrowStoreError(const std::string& prefix) {
  try {
    throw;
  } catch (const StoreTimeout& error) {
    throw StoreTimeout(prefix + error.what());
  } catch (const StoreError& error) {
    throw StoreError(prefix + error.what());
  }
}

SqlTransaction::SqlTransaction(SqlSession& session) : session_(session) { session_.Begin(); }

SqlTransaction::~SqlTransaction() {
  if (!open_) return;
  try {
    session_.ExecScript("ROLLBACK");
  } catch (const StoreError&) {
    // The connection is gone or the database already rolled back (SQLite
    // does after a full disk): the server keeps nothing of the transaction.
  }
}

void SqlTransaction::Commit() {
  // A COMMIT that fails may leave the transaction open (SQLite when busy):
  // the destructor rolls it back.
  session_.ExecScript("COMMIT");
  open_ = false;
}

}  // namespace tallygate::collector
