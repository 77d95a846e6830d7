#include "headoffice/transport/certificate_check.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

namespace pos::headoffice {
namespace {

std::string text_of(const ASN1_TIME* t) {
  std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), &BIO_free);
  if (!out || ASN1_TIME_print(out.get(), t) != 1) return "an unreadable date";
  char* data = nullptr;
  const long n = BIO_get_mem_data(out.get(), &data);
  return std::string(data, static_cast<std::size_t>(n));
}

}  // namespace

std::string certificate_warning(const std::string& cert_file, std::time_t now) {
  std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_file(cert_file.c_str(), "r"), &BIO_free);
  if (!in) return {};
  std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr), &X509_free);
  if (!cert) return {};
  if (X509_cmp_time(X509_get0_notAfter(cert.get()), &now) < 0)
    return "the certificate " + cert_file + " expired on " + text_of(X509_get0_notAfter(cert.get())) +
           "; terminals will refuse it";
  if (X509_cmp_time(X509_get0_notBefore(cert.get()), &now) > 0)
    return "the certificate " + cert_file + " is not valid before " + text_of(X509_get0_notBefore(cert.get())) +
           "; terminals will refuse it";
  return {};
}

}  // namespace pos::headoffice
