#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "packet/row_set.h"
#include "tests/service/service_fixture.h"

namespace pos {
namespace {

using namespace pos::testing;

class Wire : public ServiceTest {};

void expect_common_headers(const SentRequest& r) {
  EXPECT_TRUE(r.has_header("Accept: text/html, */*"));
  EXPECT_TRUE(r.has_header("Accept-Encoding: big5"));
  EXPECT_TRUE(r.has_header("User-Agent: Mozilla/4.0 (compatible; Indy Library)"));
  EXPECT_FALSE(r.has_header_named("Expect"));
  EXPECT_FALSE(r.has_header_named("Authorization"));
  EXPECT_FALSE(r.has_header_named("Proxy-Connection"));
  EXPECT_FALSE(r.has_header_named("Transfer-Encoding"));
  EXPECT_TRUE(r.has_header_named("Content-Length"));
  for (const auto& part : r.parts) {
    EXPECT_EQ(part.headers, "Content-Disposition: form-data; name=\"" + part.name + "\"");
  }
}

TEST_F(Wire, QueryIsUpperCasedOnOneLineWithTheUserFields) {
  LoopbackServer server(kPacket);
  RowSet rows;
  // 送 is B0 65: its trail byte is a lower-case 'e' and stays one.
  module(server.port()).OpenRemoteQuery(rows, "select * from mch_item\r\nwhere name = 'a\xB0\x65;b'\r\n");
  const SentRequest r = parse_request(server.last_request());
  EXPECT_EQ(r.request_line, "POST /Vark/ado/index.php?user_name=SYSDBA&password=quillbark HTTP/1.0");
  expect_common_headers(r);
  ASSERT_EQ(r.parts.size(), 3u);
  EXPECT_EQ(r.parts[0].name, "user_name");
  EXPECT_EQ(r.parts[0].value, "SYSDBA");
  EXPECT_EQ(r.parts[1].name, "password");
  EXPECT_EQ(r.parts[1].value, "quillbark");
  EXPECT_EQ(r.parts[2].name, "sql");
  EXPECT_EQ(r.parts[2].value, "SELECT * FROM MCH_ITEM WHERE NAME = 'A\xB0\x65;B' ");
}

TEST_F(Wire, StatementAlsoTurnsSemicolonsIntoHyphens) {
  LoopbackServer server("OK");
  auto& m = module(server.port(), 300000, "user_name=pos1\npassword=s3cret\n");
  EXPECT_TRUE(m.ExecRemoteStatement("update ptsale_temp set state = 'w;x'\r\nwhere mch_no = '001' ;"));
  const SentRequest r = parse_request(server.last_request());
  EXPECT_EQ(r.request_line, "POST /Vark/ado/index.php?user_name=pos1&password=s3cret HTTP/1.0");
  expect_common_headers(r);
  ASSERT_EQ(r.parts.size(), 3u);
  EXPECT_EQ(r.parts[0].value, "pos1");
  EXPECT_EQ(r.parts[1].value, "s3cret");
  EXPECT_EQ(r.parts[2].value, "UPDATE PTSALE_TEMP SET STATE = 'W-X' WHERE MCH_NO = '001' -");
}

TEST_F(Wire, ScriptGoesAsWrittenWithOnlyTheSqlField) {
  LoopbackServer server("success");
  auto& m = module(server.port());
  EXPECT_TRUE(m.PostSqlScript({"delete from psale_temp where mch_no = '001' ;", "Update T set A = 'b'"}));
  const SentRequest r = parse_request(server.last_request());
  EXPECT_EQ(r.request_line, "POST /Vark/ado/sql_scripts.php?user_name%3DSYSDBA&password%3Dquillbark HTTP/1.0");
  expect_common_headers(r);
  ASSERT_EQ(r.parts.size(), 1u);
  EXPECT_EQ(r.parts[0].name, "sql");
  EXPECT_EQ(r.parts[0].value, "delete from psale_temp where mch_no = '001' ;\r\nUpdate T set A = 'b'\r\n");
}

// compress=1 adds gzip in front of the usual Accept-Encoding value and changes nothing else; a
// service that does not compress answers as always.
TEST_F(Wire, CompressAddsGzipToTheOneAcceptEncodingHeader) {
  LoopbackServer server(kPacket);
  RowSet rows;
  module(server.port(), 300000, "compress=1\n").OpenRemoteQuery(rows, "select * from mch_item");
  const SentRequest r = parse_request(server.last_request());
  const auto encodings = std::count_if(r.headers.begin(), r.headers.end(),
                                       [](const std::string& h) { return h.starts_with("Accept-Encoding:"); });
  EXPECT_EQ(encodings, 1);
  EXPECT_TRUE(r.has_header("Accept-Encoding: gzip, big5"));
  EXPECT_TRUE(r.has_header("Accept: text/html, */*"));
  EXPECT_GT(rows.row_count(), 0u);
}

TEST_F(Wire, RedirectsAreFollowedWithThePostAndItsForm) {
  for (const char* status : {"301 Moved Permanently", "302 Found", "303 See Other", "307 Temporary Redirect"}) {
    LoopbackServer server([status](const std::string&, int index) {
      return Reply{index == 0 ? http_reply("", status, "Location: /moved/index.php\r\n") : http_reply("OK")};
    });
    EXPECT_TRUE(module(server.port()).ExecRemoteStatement("delete from t")) << status;
    ASSERT_EQ(server.requests().size(), 2u) << status;
    const SentRequest r = parse_request(server.requests()[1]);
    EXPECT_EQ(r.request_line, "POST /moved/index.php HTTP/1.0") << status;
    ASSERT_EQ(r.parts.size(), 3u) << status;
    EXPECT_EQ(r.parts[2].value, "DELETE FROM T");
  }
}

TEST_F(Wire, CredentialsThatCannotStandInAUrlArePercentEncoded) {
  LoopbackServer server([](const std::string& request, int) {
    return Reply{http_reply(request.find("sql_scripts") != std::string::npos ? "success" : "OK")};
  });
  auto& m = module(server.port(), 300000, "user_name=pos 1\npassword=p#w&x+y?z%\xB1\x4B\n");
  m.ExecRemoteStatement("x");
  m.PostSqlScript({"x"});
  EXPECT_EQ(parse_request(server.requests()[0]).request_line,
            "POST /Vark/ado/index.php?user_name=pos%201&password=p%23w%26x%2By%3Fz%25%B1K HTTP/1.0");
  EXPECT_EQ(parse_request(server.requests()[0]).parts[1].value, "p#w&x+y?z%\xB1\x4B");  // the form as it is
  EXPECT_EQ(parse_request(server.requests()[1]).request_line,
            "POST /Vark/ado/sql_scripts.php?user_name%3Dpos%201&password%3Dp%23w%26x%2By%3Fz%25%B1K HTTP/1.0");

  // Letters, digits and -._~ go as they always went.
  auto& plain = module(server.port(), 300000, "user_name=a-b.c_d~e\npassword=Z9\n");
  plain.ExecRemoteStatement("x");
  plain.PostSqlScript({"x"});
  EXPECT_EQ(parse_request(server.requests()[2]).request_line,
            "POST /Vark/ado/index.php?user_name=a-b.c_d~e&password=Z9 HTTP/1.0");
  EXPECT_EQ(parse_request(server.requests()[3]).request_line,
            "POST /Vark/ado/sql_scripts.php?user_name%3Da-b.c_d%7Ee&password%3DZ9 HTTP/1.0");
}

TEST_F(Wire, EveryRequestOpensItsOwnConnectionAndCookiesStay) {
  LoopbackServer server([](const std::string&, int index) {
    return Reply{http_reply(
        "OK", "200 OK",
        index == 0 ? "Set-Cookie: sid=abc; Path=/\r\nConnection: keep-alive\r\n" : "Connection: keep-alive\r\n")};
  });
  auto& m = module(server.port());
  m.ExecRemoteStatement("a");
  m.ExecRemoteStatement("b");
  EXPECT_EQ(server.connections(), 2);
  EXPECT_FALSE(parse_request(server.requests()[0]).has_header_named("Cookie"));
  EXPECT_TRUE(parse_request(server.requests()[1]).has_header("Cookie: sid=abc"));
}

TEST_F(Wire, WithBatchOneAKeptConnectionResetUnderARequestIsReplacedOnce) {
  // Request 1 is reset on the kept connection while its body is on the way: it goes again on a
  // new connection (2). Requests 3 and 4 are reset both: the statement fails, it is not sent a third time.
  LoopbackServer server(
      [](const std::string&, int) { return Reply{http_reply("OK", "200 OK", "Connection: keep-alive\r\n")}; });
  auto& m = module(server.port(), 300000, "batch=1\n");
  const std::string large(1 << 20, 'x');  // more than the first write of a request carries
  m.ExecRemoteStatement("a");
  server.reset_at_head({1, 3, 4});
  m.ExecRemoteStatement(large);
  EXPECT_TRUE(parse_request(server.requests()[0]).request_line.ends_with(" HTTP/1.1"));
  EXPECT_EQ(parse_request(server.requests()[2]).parts.back().value.size(), large.size());
  EXPECT_EQ(server.connections(), 2);
  EXPECT_THROW(m.ExecRemoteStatement(large), HttpError);
  EXPECT_EQ(server.requests().size(), 5u);
}

TEST_F(Wire, ProxyFromTheEnvironmentIsNotUsed) {
  LoopbackServer proxy("proxied");
  LoopbackServer server("OK");
  const std::string proxy_url = proxy.base() + "/";
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) setenv(name, proxy_url.c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  bool ok = false;
  EXPECT_NO_THROW(ok = module(server.port()).ExecRemoteStatement("x"));
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(proxy.requests().empty());
  EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace
}  // namespace pos
