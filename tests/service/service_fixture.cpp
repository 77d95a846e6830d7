#include "tests/service/service_fixture.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

namespace pos::testing {

const std::string kPacket = R"(<?xml version="1.0" encoding="UTF-8"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
                            R"(<FIELD attrname="MCH_NO" fieldtype="string" WIDTH="5"/></FIELDS><PARAMS/></METADATA>)"
                            R"(<ROWDATA><ROW MCH_NO="001"/></ROWDATA></DATAPACKET>)";

std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "<missing>";
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

bool SentRequest::has_header(std::string_view line) const {
  return std::find(headers.begin(), headers.end(), line) != headers.end();
}

bool SentRequest::has_header_named(std::string_view name) const {
  for (const auto& h : headers) {
    if (h.size() > name.size() && h[name.size()] == ':' &&
        std::equal(name.begin(), name.end(), h.begin(),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
      return true;
    }
  }
  return false;
}

SentRequest parse_request(const std::string& raw) {
  SentRequest r;
  const std::size_t head_end = raw.find("\r\n\r\n");
  std::string boundary;
  for (std::size_t pos = 0, end; pos < head_end; pos = end + 2) {
    end = raw.find("\r\n", pos);
    std::string line = raw.substr(pos, end - pos);
    if (pos == 0) {
      r.request_line = line;
    } else {
      if (line.starts_with("Content-Type: multipart/form-data; boundary=")) boundary = line.substr(line.find('=') + 1);
      r.headers.push_back(line);
    }
  }
  if (boundary.empty()) return r;
  const std::string body = raw.substr(head_end + 4);
  const std::string delimiter = "\r\n--" + boundary;
  std::size_t pos = ("--" + boundary + "\r\n").size();
  for (std::size_t next; (next = body.find(delimiter, pos)) != std::string::npos; pos = next + delimiter.size() + 2) {
    const std::string part = body.substr(pos, next - pos);
    const std::size_t split = part.find("\r\n\r\n");
    FormPart p{part.substr(0, split), "", part.substr(split + 4)};
    const std::size_t name = p.headers.find("name=\"");
    p.name = p.headers.substr(name + 6, p.headers.find('"', name + 6) - name - 6);
    r.parts.push_back(p);
  }
  return r;
}

TDataModHttp& ServiceTest::module(int port, long read_timeout_ms, const std::string& more) {
  write_file(home / "httpset.ini", "[set]\nport=" + std::to_string(port) + "\n" + more);
  dm = std::make_unique<TDataModHttp>(home, boxes, DataModOptions{read_timeout_ms});
  dm->DataModuleCreate();
  return *dm;
}

}  // namespace pos::testing
