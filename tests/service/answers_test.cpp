#include <gtest/gtest.h>

#include <chrono>

#include "packet/row_set.h"
#include "tests/service/service_fixture.h"
#include "text/big5.h"

namespace pos {
namespace {

using namespace pos::testing;

// The message of the error an OpenRemoteQuery raises for `answer`, or "" when it loads.
std::string query_error(TDataModHttp& m, RowSet& rows) {
  try {
    m.OpenRemoteQuery(rows, "select * from mch_item");
  } catch (const ServiceAnswerError& e) {
    return e.what();
  }
  return "";
}

class QueryAnswers : public ServiceTest {};

TEST_F(QueryAnswers, PacketLoadsAndResultFileHoldsTheAnswer) {
  LoopbackServer server(kPacket);
  RowSet rows;
  EXPECT_EQ(query_error(module(server.port()), rows), "");
  ASSERT_EQ(rows.row_count(), 1u);
  EXPECT_EQ(rows.text("mch_no"), "001");
  EXPECT_EQ(read_file(dm->ResultFile()), kPacket + "\r\n");
  EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(QueryAnswers, ErrorAnswersAndNonPacketsRaiseTheAnswerQuotedAtMost2000Bytes) {
  const std::string junk = "<html>" + std::string(50000, 'x');
  // A long packet that broke off (e.g. a gzipped answer cut and decoded as far as it came).
  std::string cut =
      "<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
      "<FIELD attrname=\"MCH_NO\" fieldtype=\"string\" WIDTH=\"5\"/></FIELDS></METADATA><ROWDATA>";
  while (cut.size() < 3000) cut += "<ROW MCH_NO=\"001\"/>";
  cut += "<ROW MCH_";
  const struct {
    std::string answer, message;
  } cases[] = {
      {"<RESULT>ORA-00942: table or view does not exist", "<RESULT>ORA-00942: table or view does not exist"},
      {"<RESULT>", "<RESULT>"},
      {"<RESU", "<RESU"},
      {"", "The service's answer was empty."},
      {"<result>lower case is no error answer", "<result>lower case is no error answer"},
      {"<html><body><h1>404 Not Found</h1></body></html>", "<html><body><h1>404 Not Found</h1></body></html>"},
      {junk, junk.substr(0, 2000) + "... (50006 bytes in all)"},
      {"<RESULT>" + junk, ("<RESULT>" + junk).substr(0, 2000) + "... (50014 bytes in all)"},
      {std::string("\x1F\x8B\x08\0\0\0PK", 8), "\x1F\x8B\x08\\0\\0\\0PK"},  // binary: not cut at its NUL
      {cut, "The service's answer was incomplete: it broke off after " + std::to_string(cut.size()) +
                " bytes, before the end of its data packet (what came is in Result.txt)."},
  };
  for (const auto& c : cases) {
    LoopbackServer server(c.answer);
    RowSet rows;
    rows.load(kPacket);
    EXPECT_EQ(query_error(module(server.port()), rows), c.message);
    EXPECT_EQ(rows.row_count(), 0u);
    EXPECT_EQ(read_file(dm->ResultFile()), c.answer + "\r\n");  // Result.txt keeps the whole answer
  }
  EXPECT_TRUE(boxes.messages().empty());
}

TEST(ErrorAnswerMessage, DropsTheTagsOfAnErrorAnswerOnly) {
  EXPECT_EQ(error_answer_message("<RESULT>login failed for posuser</RESULT>\r\n"), "login failed for posuser");
  EXPECT_EQ(error_answer_message("<RESULT>no such table: X"), "no such table: X");
  EXPECT_EQ(error_answer_message("<html>404</RESULT>"), "<html>404</RESULT>");
}

class QueryFailures : public ServiceTest {
 protected:
  // Runs a query that must fail on the way; returns what the message box said after the endpoint.
  std::string failure(TDataModHttp& m) {
    RowSet rows;
    EXPECT_THROW(m.OpenRemoteQuery(rows, "select 1"), SilentAbort);
    EXPECT_EQ(boxes.messages().size(), 1u);
    if (boxes.messages().empty()) return "";
    const std::string prefix = m.QueryEndpoint() + big5("錯誤的連線: ");
    EXPECT_TRUE(boxes.messages()[0].starts_with(prefix)) << boxes.messages()[0];
    return boxes.messages()[0].substr(prefix.size());
  }
};

TEST_F(QueryFailures, RefusedConnectionShowsTheEndpointWhatToCheckAndAbortsSilently) {
  auto& m = module(closed_port());
  write_file(m.ResultFile(), "earlier");
  const std::string said = failure(m);
  EXPECT_NE(said.find("onnect"), std::string::npos);
  EXPECT_NE(said.find("(is head office's service running there? check host= and port= in " +
                      (m.ResultFile().parent_path() / "httpset.ini").string() + ")"),
            std::string::npos)
      << said;
  EXPECT_EQ(read_file(m.ResultFile()), "earlier");
}

TEST_F(QueryFailures, HttpErrorStatusShowsTheStatusLine) {
  LoopbackServer server(
      [](const std::string&, int) { return Reply{http_reply(kPacket, "500 Internal Server Error")}; });
  EXPECT_EQ(failure(module(server.port())), "HTTP/1.1 500 Internal Server Error");
}

// A port that answers nothing, or no HTTP (here a TLS alert): most likely HTTPS asked in plain HTTP.
TEST_F(QueryFailures, APortThatAnswersNoHttpPointsToTheScheme) {
  for (const std::string& raw : {std::string(), std::string("\x15\x03\x01\x00\x02\x02\x46", 7)}) {
    LoopbackServer server([&](const std::string&, int) { return Reply{raw}; });
    boxes.clear();
    EXPECT_NE(failure(module(server.port()))
                  .find("(the port answered no HTTP: if head office serves HTTPS there, set "
                        "scheme=https in [set] of "),
              std::string::npos);
  }
}

TEST_F(QueryFailures, SilentServerTimesOut) {
  LoopbackServer server([](const std::string&, int) { return Reply{"", true}; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(failure(module(server.port(), 300)), "Read timed out.");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
}

// The terminal's own disk, not the connection: the file's error follows the endpoint as it is.
TEST_F(QueryFailures, AnUnwritableResultFileIsNamedAsSuch) {
  LoopbackServer server(kPacket);
  auto& m = module(server.port());
  std::filesystem::create_directory(m.ResultFile());
  EXPECT_EQ(failure(m), "Cannot create file \"" + m.ResultFile().string() + "\". Is a directory");
}

TEST_F(QueryFailures, OverlongHeaderLineIsAnError) {
  const std::string name = "X-Long: ";
  LoopbackServer server([&](const std::string&, int index) {
    const std::size_t length = index == 0 ? 65000 : 65001;
    return Reply{http_reply(kPacket, "200 OK", name + std::string(length - name.size(), 'a') + "\r\n")};
  });
  auto& m = module(server.port());
  RowSet rows;
  EXPECT_NO_THROW(m.OpenRemoteQuery(rows, "select 1"));
  EXPECT_EQ(failure(m), "Max line length exceeded.");
}

// Answers `hops` redirects before the packet.
LoopbackServer::Script redirects(int hops) {
  return [hops](const std::string&, int index) {
    if (index < hops) return Reply{http_reply("", "302 Found", "Location: /hop" + std::to_string(index) + "\r\n")};
    return Reply{http_reply(kPacket)};
  };
}

TEST_F(QueryFailures, RedirectsAreFollowedUpToFifteen) {
  {
    LoopbackServer server(redirects(15));
    RowSet rows;
    EXPECT_NO_THROW(module(server.port()).OpenRemoteQuery(rows, "select 1"));
    EXPECT_EQ(rows.row_count(), 1u);
    EXPECT_EQ(server.requests().size(), 16u);
    EXPECT_NE(server.last_request().find(" /hop14 HTTP/1.0\r\n"), std::string::npos);
  }
  LoopbackServer server(redirects(16));
  EXPECT_NE(failure(module(server.port())).find("15"), std::string::npos);
}

class StatementAnswers : public ServiceTest {};

TEST_F(StatementAnswers, OkAnywhereInTheAnswerCounts) {
  for (const auto& [answer, expected] : std::vector<std::pair<std::string, bool>>{
           {"OK", true}, {"NOT OK", true}, {"rows: 3\nOK", true}, {"ok", false}, {"Ok.", false}, {"", false}}) {
    LoopbackServer server(answer);
    auto& m = module(server.port());
    EXPECT_EQ(m.ExecRemoteStatement("delete from t"), expected) << answer;
    EXPECT_EQ(m.LastServiceMessage(), expected ? "" : answer);
  }
  EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(StatementAnswers, FailedRequestsPassToTheCaller) {
  LoopbackServer server([](const std::string&, int) { return Reply{http_reply("OK", "503 Service Unavailable")}; });
  try {
    module(server.port()).ExecRemoteStatement("x");
    FAIL() << "no error";
  } catch (const HttpError& e) {
    EXPECT_EQ(e.status(), 503);
    EXPECT_STREQ(e.what(), "HTTP/1.1 503 Service Unavailable");
  }
  EXPECT_THROW(module(closed_port()).ExecRemoteStatement("x"), HttpError);
  EXPECT_TRUE(boxes.messages().empty());
  EXPECT_EQ(read_file(home / "Result.txt"), "<missing>");
}

class ScriptAnswers : public ServiceTest {};

TEST_F(ScriptAnswers, SuccessInLowerCaseOnlyAndMessageFileOverwritten) {
  LoopbackServer server([](const std::string&, int index) {
    return Reply{http_reply(index == 0 ? "statement 1 done\nstatement 2 done\r\nsuccess\n" : "SUCCESS")};
  });
  auto& m = module(server.port());
  EXPECT_TRUE(m.PostSqlScript({"a ;"}));
  EXPECT_EQ(read_file(m.MessageFile()), "statement 1 done\r\nstatement 2 done\r\nsuccess\r\n");
  EXPECT_FALSE(m.PostSqlScript({"a ;"}));
  EXPECT_EQ(m.LastServiceMessage(), "SUCCESS");
  EXPECT_EQ(read_file(m.MessageFile()), "SUCCESS\r\n");
  EXPECT_EQ(read_file(m.MessageErrFile()), "<missing>");
  EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(ScriptAnswers, FailedPostsBecomeConnectionProblem) {
  LoopbackServer server(
      [](const std::string&, int) { return Reply{http_reply("success", "500 Internal Server Error")}; });
  for (int port : {closed_port(), server.port()}) {
    auto& m = module(port);
    boxes.clear();
    EXPECT_FALSE(m.PostSqlScript({"a ;"}));
    EXPECT_EQ(m.LastServiceMessage(), "Connection problem!");
    EXPECT_EQ(boxes.messages(), std::vector<std::string>{"Connection problem!"});
    EXPECT_EQ(read_file(m.MessageErrFile()), "Connection problem!\r\n");
    EXPECT_EQ(read_file(m.MessageFile()), "<missing>");
  }
}

TEST_F(ScriptAnswers, UnwritableFiles) {
  LoopbackServer server("success");
  auto& m = module(server.port());
  std::filesystem::create_directory(m.MessageFile());
  EXPECT_FALSE(m.PostSqlScript({"a ;"}));
  EXPECT_EQ(boxes.messages(), std::vector<std::string>{"Connection problem!"});

  std::filesystem::remove(m.MessageErrFile());
  std::filesystem::create_directory(m.MessageErrFile());
  EXPECT_THROW(m.PostSqlScript({"a ;"}), DiagnosticFileError);
}

}  // namespace
}  // namespace pos
