#include "collector/door/tls_context.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include "collector/config/key_file.h"

namespace tallygate::collector::door {
namespace {

// OpenSSL's reason for the last failure, its queue emptied.
std::string OpenSslReason() {
  std::string reason;
  while (const unsigned long code = ERR_get_error()) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    reason = text;  // the last is the most precise
  }
  return reason.empty() ? "not in PEM form" : reason;
}

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

// `text` as a memory BIO that PEM readers take.
Bio MemoryBio(const std::string& text) {
  return Bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

void UseCertificateChain(SSL_CTX* context, const std::string& file) {
  const std::string text = ReadKeyFile("tls_cert_file", file);
  Bio bio = MemoryBio(text);
  X509* leaf = PEM_read_bio_X509_AUX(bio.get(), nullptr, nullptr, nullptr);
  if (leaf == nullptr || SSL_CTX_use_certificate(context, leaf) != 1) {
    X509_free(leaf);
    throw TlsError("tls_cert_file " + file + ": no certificate: " + OpenSslReason());
  }
  X509_free(leaf);
  // The intermediates that follow the server's own certificate, if any.
  while (X509* next = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    if (SSL_CTX_add0_chain_cert(context, next) != 1) {
      X509_free(next);
      throw TlsError("tls_cert_file " + file + ": " + OpenSslReason());
    }
  }
  ERR_clear_error();  // the end of the file reads as a failure
}

void UseKey(SSL_CTX* context, const std::string& file, const std::string& cert_file) {
  const std::string text = ReadKeyFile("tls_key_file", file);
  Bio bio = MemoryBio(text);
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
  if (key == nullptr) {
    throw TlsError("tls_key_file " + file + ": no private key (one without a passphrase): " +
                   OpenSslReason());
  }
  const bool used = SSL_CTX_use_PrivateKey(context, key) == 1;
  EVP_PKEY_free(key);
  if (!used || SSL_CTX_check_private_key(context) != 1) {
    ERR_clear_error();
    throw TlsError("tls_key_file " + file + " is not the key of the certificate in tls_cert_file " +
                   cert_file);
  }
}

}  // namespace

SslContext LoadTlsContext(const std::string& cert_file, const std::string& key_file) {
  SslContext context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  if (!context) throw TlsError("no TLS context: " + OpenSslReason());
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.get(), SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
  // Writes that return part-way, as a socket's do; the buffer may move
  // between the tries of one write.
  SSL_CTX_set_mode(context.get(), SSL_MODE_ENABLE_PARTIAL_WRITE |
                                      SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                                      SSL_MODE_RELEASE_BUFFERS);
  try {
    UseCertificateChain(context.get(), cert_file);
    UseKey(context.get(), key_file, cert_file);
  } catch (const Failure& e) {  // a file that cannot be read, or one of OpenSSL's
    ERR_clear_error();
    throw TlsError(e.what());
  }
  return context;
}

TlsContext::TlsContext(std::string cert_file, std::string key_file)
    : cert_file_(std::move(cert_file)),
      key_file_(std::move(key_file)),
      current_(LoadTlsContext(cert_file_, key_file_)) {}

SslContext TlsContext::Current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void TlsContext::Reload() {
  SslContext loaded = LoadTlsContext(cert_file_, key_file_);
  std::lock_guard lock(mutex_);
  current_ = std::move(loaded);
}

}  // namespace tallygate::collector::door
