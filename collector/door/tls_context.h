// The dashboard's certificate and key, for HTTPS: read from the files
// [http] tls_cert_file and tls_key_file name, at the start and again at
// each SIGHUP. A connection takes the context current when it arrives and
// keeps it; a reload that fails keeps the one before.
#ifndef TALLYGATE_COLLECTOR_DOOR_TLS_CONTEXT_H_
#define TALLYGATE_COLLECTOR_DOOR_TLS_CONTEXT_H_

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "collector/base/failure.h"

struct ssl_ctx_st;

namespace tallygate::collector::door {

using SslContext = std::shared_ptr<ssl_ctx_st>;

// A certificate or key that cannot be used; the message names the file.
class TlsError : public Failure {
 public:
  using Failure::Failure;
};

// A server context with the certificate chain of `cert_file` and the key
// of `key_file` (PEM), TLS 1.2 at least. Throws TlsError.
SslContext LoadTlsContext(const std::string& cert_file, const std::string& key_file);

class TlsContext {
 public:
  // Loads the files. Throws TlsError.
  TlsContext(std::string cert_file, std::string key_file);

  // The context for a connection arriving now.
  SslContext Current() const;

  // Reads the files again; throws TlsError, keeping the context before.
  void Reload();

 private:
  const std::string cert_file_;
  const std::string key_file_;
  mutable std::mutex mutex_;
  SslContext current_;
};

}  // namespace tallygate::collector::door

#endif  // TALLYGATE_COLLECTOR_DOOR_TLS_CONTEXT_H_
