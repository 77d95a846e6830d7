#include "service/data_mod_http.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "packet/packet_loader.h"
#include "packet/row_set.h"
#include "service/diagnostics.h"
#include "service/service_settings.h"
#include "text/ascii.h"
#include "text/big5.h"
#include "text/number_format.h"
#include "text/sql_text.h"

namespace pos {
namespace {

const std::string& connection_error_text() {
  static const std::string text = big5("錯誤的連線: ");
  return text;
}

constexpr std::string_view kConnectionProblem = "Connection problem!";

// Every CR LF pair becomes one blank; a lone CR or LF stays.
std::string crlf_to_blank(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += ' ';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool kept_in_url(unsigned char b) {
  static constexpr std::string_view kSigns = "$-_@.&+!*\"(),;/#?:";
  b = static_cast<unsigned char>(ascii_upper(static_cast<char>(b)));
  return (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || kSigns.find(static_cast<char>(b)) != kSigns.npos;
}

// Letters, digits and -._~ may stand in a query string as they are.
bool unreserved(unsigned char b) {
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
         b == '_' || b == '~';
}

bool plain_in_url(std::string_view value) {
  return std::all_of(value.begin(), value.end(), [](char c) { return unreserved(static_cast<unsigned char>(c)); });
}

std::string percent_encoded(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if (unreserved(b)) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

std::string_view trim_white(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// Digits only, 1 to 65535. An empty port leaves the scheme's own.
bool valid_port(std::string_view port) {
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const int n = std::stoi(std::string(port));
  return n >= 1 && n <= 65535;
}

}  // namespace

TDataModHttp::TDataModHttp(std::filesystem::path terminal_folder, MessageBoxes& boxes, DataModOptions options)
    : folder_(std::move(terminal_folder)), boxes_(boxes), options_(options) {}

void TDataModHttp::DataModuleCreate() {
  ServiceSettings s = read_service_settings(folder_ / "httpset.ini");
  const std::string scheme = ascii_upper(s.scheme);
  if (scheme != "HTTP" && scheme != "HTTPS")
    throw ServiceSettingsError("httpset.ini: scheme=" + s.scheme + " is not known; use http or https");
  s.scheme = scheme == "HTTPS" ? "https" : "http";
  if (!s.port.empty() && !valid_port(s.port))
    throw ServiceSettingsError((folder_ / "httpset.ini").string() + ": port=" + s.port +
                               " is not a port number (1 to 65535); head office cannot be reached with it");
  ServiceHost_ = s.host;
  ServiceUserName_ = s.user_name;
  ServicePassword_ = s.password;
  ServiceDriver_ = s.driver;
  QueryEndpoint_ = query_endpoint(s);
  ScriptEndpoint_ = script_endpoint(s);

  IdHTTP1.settings = HttpSettings{};
  IdHTTP1.settings.read_timeout_ms = options_.read_timeout_ms;
  IdHTTP1.settings.ca_file = s.cafile;
  // retries: absent or 0 sends each request once, as always.
  IdHTTP1.settings.retries = std::clamp(parse_integer_or(s.retries, 0), 0, 10);
  // compress: absent or 0 keeps the plain answers and the Accept-Encoding header as always.
  IdHTTP1.settings.compressed_answers = parse_integer_or(s.compress, 0) != 0;
  // batch: absent or 0 keeps a connection and a fetch per request, as always.
  batch_requests_ = parse_integer_or(s.batch, 0) != 0;
  IdHTTP1.settings.keep_alive = batch_requests_;
  // An optional read_timeout in seconds; a value that is not a positive number keeps the default.
  const double seconds = parse_number_or(s.read_timeout, 0);
  if (seconds > 0 && seconds < 86400) IdHTTP1.settings.read_timeout_ms = static_cast<long>(seconds * 1000);
}

std::string TDataModHttp::EncodeUrl(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (kept_in_url(b)) {
      out += c;
    } else if (b == ' ') {
      out += "%20";
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

// A user name or password that could not stand in the URL as it is (a blank, '#', '&', '+', '?',
// '%', a Big5 byte, ...) is percent-encoded, so that the service receives it intact; plain values
// go as they are.
std::string TDataModHttp::query_url() const {
  auto value = [](const std::string& v) { return plain_in_url(v) ? v : percent_encoded(v); };
  return QueryEndpoint_ + "?user_name=" + value(ServiceUserName_) + "&password=" + value(ServicePassword_);
}

// EncodeUrl of the endpoint, "?user_name=", the user name, "&password=" and the password. EncodeUrl
// keeps '#', '&', '+' and '?', which would cut or split a value; such a value is percent-encoded
// instead (EncodeUrl works byte by byte, so plain values give the same URL either way).
std::string TDataModHttp::script_url() const {
  auto value = [](const std::string& v) { return plain_in_url(v) ? EncodeUrl(v) : percent_encoded(v); };
  return EncodeUrl(ScriptEndpoint_ + "?user_name=") + value(ServiceUserName_) + EncodeUrl("&password=") +
         value(ServicePassword_);
}

std::vector<FormField> TDataModHttp::user_form(std::string sql) const {
  return {{"user_name", ServiceUserName_}, {"password", ServicePassword_}, {"sql", std::move(sql)}};
}

namespace {

// A query's answer as it arrives: written to Result.txt and loaded into the row set piece by piece,
// so that it is never held whole. Only its start is kept, for the error message.
class QueryAnswer : public BodySink {
 public:
  static constexpr std::size_t kQuoted = 2000;  // bytes of an answer an error message quotes

  QueryAnswer(RowSet& rows, const std::filesystem::path& result_file) : rows_(rows), file_(result_file) {}

  void write(std::string_view piece) override {
    file_.write(piece);
    if (start_.size() < kQuoted) start_.append(piece.substr(0, kQuoted - start_.size()));
    end_.append(piece.substr(piece.size() > kEnd ? piece.size() - kEnd : 0));
    if (end_.size() > kEnd) end_.erase(0, end_.size() - kEnd);
    size_ += piece.size();
    if (!loader_) loader_.emplace(rows_);
    if (packet_) packet_ = loader_->feed(piece);
  }

  // After the transfer: Result.txt gets its closing line break.
  void close_file() {
    file_.write("\r\n");
    file_.finish();
  }

  bool is_error_answer() const { return start_.starts_with("<RESULT>"); }

  // True when the answer was a whole packet, now in the row set.
  bool loaded() {
    if (!loader_) loader_.emplace(rows_);
    return loader_->finish() && packet_;
  }

  // The answer as an error message quotes it: whole up to kQuoted bytes, else its start and its size;
  // a longer packet that stops before its end is named as such, as its start would say nothing.
  // A message ends at its first NUL byte, so a binary answer's NULs are written as \0.
  std::string quoted() const {
    if (size_ == 0) return "The service's answer was empty.";
    if (size_ > kQuoted && cut_short())
      return "The service's answer was incomplete: it broke off after " + std::to_string(size_) +
             " bytes, before the end of its data packet (what came is in Result.txt).";
    std::string text;
    for (char c : start_) {
      if (c == '\0')
        text += "\\0";
      else
        text += c;
    }
    if (size_ <= kQuoted) return text;
    return text + "... (" + std::to_string(size_) + " bytes in all)";
  }

 private:
  static constexpr std::size_t kEnd = 64;  // bytes of the answer's end kept to see whether it is whole

  // A data packet began and was read without a fault, but its closing tag never came.
  bool cut_short() const {
    if (!packet_) return false;
    std::string_view head = start_;
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    const std::string first = ascii_upper(trim_white(head).substr(0, 11));
    if (!first.starts_with("<?XML") && !first.starts_with("<DATAPACKET")) return false;
    return !ascii_upper(trim_white(end_)).ends_with("</DATAPACKET>");
  }

  RowSet& rows_;
  DiagnosticFile file_;
  std::string start_;
  std::string end_;
  std::size_t size_ = 0;
  std::optional<PacketLoader> loader_;
  bool packet_ = true;
};

}  // namespace

std::string TDataModHttp::what_to_check(const HttpError& e) const {
  const std::string ini = (folder_ / "httpset.ini").string();
  switch (e.cause()) {
    case HttpError::Cause::Unreachable:
      return " (is head office's service running there? check host= and port= in " + ini + ")";
    case HttpError::Cause::NoHttp:
      return " (the port answered no HTTP: if head office serves HTTPS there, set scheme=https in [set] of " + ini +
             "; else check port=)";
    case HttpError::Cause::NoTls:
      return " (the port speaks no HTTPS: if head office serves plain HTTP there, remove scheme=https from " + ini +
             "; else check port=)";
    case HttpError::Cause::CertificateRefused:
      return " (head office's certificate is not trusted here: name the certificate that signed it with cafile= in "
             "[set] of " +
             ini + ")";
    default:
      return "";
  }
}

void TDataModHttp::OpenRemoteQuery(RowSet& rows, const std::string& sql) {
  rows.clear();  // the earlier answer goes before the new one arrives
  std::optional<QueryAnswer> answer;
  std::string failure;
  try {
    answer.emplace(rows, ResultFile());
    IdHTTP1.post(query_url(), user_form(crlf_to_blank(upper_service_sql(sql))), *answer);
    answer->close_file();
  } catch (const DiagnosticFileError& e) {
    failure = QueryEndpoint_ + connection_error_text() + e.what();  // the terminal's own disk: the message says so
  } catch (const HttpError& e) {
    failure = QueryEndpoint_ + connection_error_text() + e.what() + what_to_check(e);
  } catch (const std::exception& e) {
    failure = QueryEndpoint_ + connection_error_text() + e.what();
  }
  if (!failure.empty()) {
    rows.clear();
    const std::time_t at = std::time(nullptr);  // the box waits for the operator
    boxes_.show_failure(failure);
    throw SilentAbort(failure, at);
  }
  if (answer->is_error_answer()) {
    rows.clear();
    throw ServiceAnswerError(answer->quoted());
  }
  if (!answer->loaded()) throw ServiceAnswerError(answer->quoted());
}

bool TDataModHttp::ExecRemoteStatement(const std::string& sql) {
  std::string prepared = crlf_to_blank(upper_service_sql(sql));
  for (char& c : prepared) {
    if (c == ';') c = '-';
  }
  std::string answer = IdHTTP1.post(query_url(), user_form(std::move(prepared)));
  if (answer.find("OK") != std::string::npos) return true;
  LastServiceMessage_ = std::move(answer);
  return false;
}

bool TDataModHttp::PostSqlScript(const std::vector<std::string>& lines) {
  last_post_failed_ = false;
  try {
    LastServiceMessage_ = IdHTTP1.post(script_url(), {{"sql", join_lines(lines)}});
    write_diagnostic_file(MessageFile(), join_lines(split_lines(LastServiceMessage_)));
  } catch (const std::exception&) {
    last_post_failed_ = true;
    LastServiceMessage_ = kConnectionProblem;
    boxes_.show_message(LastServiceMessage_);
    write_diagnostic_file(MessageErrFile(), join_lines({LastServiceMessage_}));
  }
  return LastServiceMessage_.find("success") != std::string::npos;
}

}  // namespace pos
