#pragma once
// TDataModHttp: the data module. It holds the service settings and endpoints, the one HTTP
// client IdHTTP1, and the four operations through which everything reaches the head office.
// Not thread-safe: the run uses it from one thread.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "service/http_client.h"
#include "service/message_box.h"
#include "service/service_errors.h"

namespace pos {

class RowSet;

struct DataModOptions {
  long read_timeout_ms = 300000;  // IdHTTP1's read time-out as DataModuleCreate sets it
};

class TDataModHttp {
 public:
  // `terminal_folder` holds httpset.ini and receives the diagnostic files; `boxes` must outlive
  // the module.
  TDataModHttp(std::filesystem::path terminal_folder, MessageBoxes& boxes, DataModOptions options = {});

  // Reads httpset.ini, builds the endpoints and configures IdHTTP1. Call once after construction.
  void DataModuleCreate();

  const std::string& ServiceHost() const { return ServiceHost_; }
  const std::string& ServiceUserName() const { return ServiceUserName_; }
  const std::string& ServicePassword() const { return ServicePassword_; }
  const std::string& ServiceDriver() const { return ServiceDriver_; }
  const std::string& QueryEndpoint() const { return QueryEndpoint_; }
  const std::string& ScriptEndpoint() const { return ScriptEndpoint_; }
  const std::string& LastServiceMessage() const { return LastServiceMessage_; }
  // True when the last PostSqlScript did not complete: its "Connection problem!" is in messageerr.txt,
  // not message.txt.
  bool last_post_failed() const { return last_post_failed_; }
  // batch=1 in httpset.ini: one kept-alive connection, and the jobs fetch a chunk of keys at once.
  bool batch_requests() const { return batch_requests_; }

  HttpClient IdHTTP1;
  // The HTTP client, for those who listen to it (retries, waits) from outside the module.
  HttpClient& http() { return IdHTTP1; }

  // Percent-encodes every byte outside A-Z a-z 0-9 and $-_@.&+!*"(),;/#?: ; a blank becomes %20.
  static std::string EncodeUrl(std::string_view text);

  // Sends the SELECT in `sql` and loads the answer into `rows`. A request that fails shows
  // QueryEndpoint + "錯誤的連線: " + the error's message and throws SilentAbort; an error answer
  // or one that is not a data packet throws ServiceAnswerError with the whole answer.
  void OpenRemoteQuery(RowSet& rows, const std::string& sql);

  // Sends one statement; true when the answer contains "OK". Otherwise LastServiceMessage is the
  // answer. A request that fails throws HttpError.
  bool ExecRemoteStatement(const std::string& sql);

  // Posts the lines to the script endpoint; true when the answer contains "success". A request
  // that fails shows "Connection problem!" and gives false; only a failure to write
  // messageerr.txt then is thrown (DiagnosticFileError).
  bool PostSqlScript(const std::vector<std::string>& lines);

  // Where the diagnostic files go.
  std::filesystem::path ResultFile() const { return folder_ / "Result.txt"; }
  std::filesystem::path MessageFile() const { return folder_ / "message.txt"; }
  std::filesystem::path MessageErrFile() const { return folder_ / "messageerr.txt"; }

 private:
  std::vector<FormField> user_form(std::string sql) const;
  std::string query_url() const;
  std::string script_url() const;
  // For a failed request: what in httpset.ini to check, with a blank before; empty when nothing.
  std::string what_to_check(const HttpError& e) const;

  std::filesystem::path folder_;
  MessageBoxes& boxes_;
  DataModOptions options_;

  std::string ServiceHost_;
  std::string ServiceUserName_;
  std::string ServicePassword_;
  std::string ServiceDriver_;
  std::string QueryEndpoint_;
  std::string ScriptEndpoint_;
  std::string LastServiceMessage_;
  bool last_post_failed_ = false;
  bool batch_requests_ = false;
};

}  // namespace pos
