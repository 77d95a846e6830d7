#pragma once
// Errors raised by the service client.

#include <cctype>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pos {

// A request that did not complete: no connection, time-out, an over-long header line, too many
// redirects, or an answer with a status of 400 or more. what() is the client's own message
// (for a status: the status line, e.g. "HTTP/1.1 500 Internal Server Error").
class HttpError : public std::runtime_error {
 public:
  enum class Cause {
    Other,
    Unreachable,         // nothing listens at the host and port, or the host is not known
    TimedOut,            // no answer in time
    NoHttp,              // the port answered nothing or no HTTP (e.g. an HTTPS port asked in plain HTTP)
    NoTls,               // HTTPS asked of a port that speaks no TLS
    CertificateRefused,  // the service's certificate is not trusted here
  };
  explicit HttpError(const std::string& message, long status = 0, Cause cause = Cause::Other)
      : std::runtime_error(message), status_(status), cause_(cause) {}
  long status() const { return status_; }  // 0 when no status was received
  Cause cause() const { return cause_; }
  bool unreachable() const { return cause_ == Cause::Unreachable; }
  bool retryable() const { return cause_ == Cause::Unreachable || cause_ == Cause::TimedOut; }

 private:
  long status_;
  Cause cause_;
};

// httpset.ini asks for something the client cannot do (an unknown scheme).
class ServiceSettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The service answered, but with an error answer ("<RESULT>...") or with text that is not a data
// packet. what() is the whole answer.
class ServiceAnswerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message of an error answer without its "<RESULT>" tag and a closing "</RESULT>" (some
// services add one); any other text as it is.
inline std::string_view error_answer_message(std::string_view text) {
  if (!text.starts_with("<RESULT>")) return text;
  text.remove_prefix(std::string_view("<RESULT>").size());
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (text.ends_with("</RESULT>")) text.remove_suffix(std::string_view("</RESULT>").size());
  return text;
}

// A diagnostic file that could not be written.
class DiagnosticFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Ends the caller's work after the message has already been shown. The run driver ends the run on
// it without showing anything; a handler that catches errors per row must let it pass.
class SilentAbort : public std::runtime_error {
 public:
  explicit SilentAbort(std::string shown = {}, std::time_t at = 0)
      : std::runtime_error("Operation aborted"), shown_(std::move(shown)), at_(at) {}
  const std::string& shown() const { return shown_; }  // the message that was shown (Big5)
  std::time_t at() const { return at_; }               // when it was shown; 0 when unknown

 private:
  std::string shown_;
  std::time_t at_;
};

}  // namespace pos
