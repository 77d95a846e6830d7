#pragma once
// Shared pieces of the service tests: a terminal folder, a recording message box, a data module
// pointed at a loopback server, and a reader for the raw requests the server recorded.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "service/data_mod_http.h"
#include "tests/service/loopback_server.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_folder.h"

namespace pos::testing {

std::string read_file(const std::filesystem::path& file);  // "<missing>" when absent
void write_file(const std::filesystem::path& file, const std::string& content);

struct FormPart {
  std::string headers;  // the part's header lines, CR LF separated
  std::string name;
  std::string value;
};

struct SentRequest {
  std::string request_line;
  std::vector<std::string> headers;
  std::vector<FormPart> parts;
  bool has_header(std::string_view line) const;
  bool has_header_named(std::string_view name) const;  // ignoring case
};
SentRequest parse_request(const std::string& raw);

class ServiceTest : public ::testing::Test {
 protected:
  ~ServiceTest() override { dm.reset(); }

  // A data module whose httpset.ini names `port` (and any further lines).
  TDataModHttp& module(int port, long read_timeout_ms = 300000, const std::string& more = "");

  TempFolder folder{"pos-service"};
  std::filesystem::path home = folder.path();
  RecordingDialogs boxes;
  std::unique_ptr<TDataModHttp> dm;
};

// A tiny valid packet with one MCH_NO row.
extern const std::string kPacket;

}  // namespace pos::testing
