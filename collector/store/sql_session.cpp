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

SqlTransaction::SqlTransaction(SqlSession& session, Sync sync) : session_(session), sync_(sync) {
  if (sync_ == Sync::kSynced) {
    session_.Begin();
  } else {
    session_.BeginUnsynced();
  }
}

SqlTransaction::~SqlTransaction() {
  if (!open_) return;
  try {
    session_.ExecScript("ROLLBACK");
  } catch (const StoreError&) {
    // The connection is gone or the database already rolled back (SQLite
    // does after a full disk): the server keeps nothing of the transaction.
  }
  if (sync_ == Sync::kUnsynced) {
    try {
      session_.EndUnsynced();
    } catch (const StoreError&) {
      // Said by the next operation, which finds the connection as it is.
    }
  }
}

void SqlTransaction::Commit() {
  // A COMMIT that fails may leave the transaction open (SQLite when busy):
  // the destructor rolls it back.
  session_.ExecScript("COMMIT");
  open_ = false;
  if (sync_ == Sync::kUnsynced) session_.EndUnsynced();
}

}  // namespace tallygate::collector
