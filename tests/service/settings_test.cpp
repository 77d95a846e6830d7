#include <gtest/gtest.h>

#include "packet/row_set.h"
#include "service/data_mod_http.h"
#include "tests/service/service_fixture.h"
#include "text/big5.h"

namespace pos {
namespace {

using testing::ServiceTest;
using testing::write_file;

class HttpSetIni : public ServiceTest {
 protected:
  TDataModHttp& read(const std::string* ini) {
    if (ini != nullptr) write_file(home / "httpset.ini", *ini);
    dm = std::make_unique<TDataModHttp>(home, boxes);
    dm->DataModuleCreate();
    return *dm;
  }
  TDataModHttp& read(const std::string& ini) { return read(&ini); }
};

TEST_F(HttpSetIni, NoFileGivesTheDefaults) {
  const auto& m = read(nullptr);
  EXPECT_EQ(m.QueryEndpoint(), "http://127.0.0.1:80/Vark/ado/index.php");
  EXPECT_EQ(m.ScriptEndpoint(), "http://127.0.0.1:80/Vark/ado/sql_scripts.php");
  EXPECT_EQ(m.ServiceHost(), "127.0.0.1");
  EXPECT_EQ(m.ServiceUserName(), "SYSDBA");
  EXPECT_EQ(m.ServicePassword(), "quillbark");
  EXPECT_EQ(m.ServiceDriver(), "ado");
  EXPECT_EQ(m.IdHTTP1.settings.read_timeout_ms, 300000);
}

TEST_F(HttpSetIni, EachKeyReplacesOnlyItsOwnPiece) {
  EXPECT_EQ(read("[set]\nport=8080\n").QueryEndpoint(), "http://127.0.0.1:8080/Vark/ado/index.php");

  const auto& m = read("[set]\r\ndriver=mysql\r\n");
  EXPECT_EQ(m.QueryEndpoint(), "http://127.0.0.1:80/Vark/mysql/index.php");
  EXPECT_EQ(m.ScriptEndpoint(), "http://127.0.0.1:80/Vark/mysql/sql_scripts.php");
}

TEST_F(HttpSetIni, KeysOutsideSectionSetAreIgnored) {
  const auto& m = read("host=10.0.0.9\n[other]\nport=1\nuser_name=X\n[Set]\nUSER_NAME=POS1\n[more]\npassword=Y\n");
  EXPECT_EQ(m.QueryEndpoint(), "http://127.0.0.1:80/Vark/ado/index.php");
  EXPECT_EQ(m.ServiceUserName(), "POS1");
  EXPECT_EQ(m.ServicePassword(), "quillbark");
}

TEST_F(HttpSetIni, BlanksQuotesIndentsAndCommentsAroundValues) {
  const auto& m = read(
      "\xEF\xBB\xBF; terminal 7\r\n"
      "[set]\r\n"
      "host =  10.1.2.3 \t\r\n"
      "   port\t=\t8081\r\n"
      "# old: port=1\r\n"
      "password = \"pass word\"\r\n"
      "user_name=first\r\n"
      "user_name=second\r\n");
  EXPECT_EQ(m.QueryEndpoint(), "http://10.1.2.3:8081/Vark/ado/index.php");
  EXPECT_EQ(m.ServicePassword(), "pass word");
  EXPECT_EQ(m.ServiceUserName(), "first");
}

TEST_F(HttpSetIni, AValueIsEverythingAfterTheFirstEqualsSign) {
  struct Case {
    const char* line;
    const char* user;
  } cases[] = {
      {"user_name=u1 ;c", "u1 ;c"},          // no comment inside a value
      {"user_name = a=b ", "a=b"},           // only the first '=' separates
      {"user_name:u2\nuser_name=u3", "u3"},  // a line without '=' is no setting
      {"; user_name=u4\nuser_name=u5", "u5"},
      {"  ;user_name=u6\nuser_name=u7", "u7"},
      {"user_name='q' ", "q"},
      {"user_name=", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(read(std::string("[set]\n") + c.line + "\n").ServiceUserName(), c.user) << c.line;
  EXPECT_EQ(read("[set]\nport:28082\nhost=h\n").QueryEndpoint(), "http://h:80/Vark/ado/index.php");
}

// The port alone is checked, at start: one that is not a number could only fail every request.
TEST_F(HttpSetIni, OnlyThePortIsCheckedAndValuesKeepTheirBytes) {
  const std::string shop = big5("總店");
  const auto& m = read("[set]\nhost=" + shop + "\nport=8091\ndriver=\npassword=p=w;d\xB0\x65\n");
  EXPECT_EQ(m.QueryEndpoint(), "http://" + shop + ":8091/Vark//index.php");
  EXPECT_EQ(m.ServicePassword(), "p=w;d\xB0\x65");
  EXPECT_EQ(read("[set]\nport=\n").QueryEndpoint(), "http://127.0.0.1:/Vark/ado/index.php");  // the scheme's own
  for (const char* port : {"8O91", "-1x", "0", "65536", "080801"})
    EXPECT_THROW(read(std::string("[set]\nport=") + port + "\n"), ServiceSettingsError) << port;
}

TEST_F(HttpSetIni, AnOverlongLineDoesNotSpillIntoAnotherKey) {
  const auto& m = read("[set]\npassword=" + std::string(190, 'x') + "driver=evil\nhost=h\n");
  EXPECT_EQ(m.ServiceDriver(), "ado");
  EXPECT_EQ(m.ServiceHost(), "h");
  EXPECT_TRUE(m.ServicePassword().starts_with(std::string(150, 'x')));
}

TEST_F(HttpSetIni, SchemeAndCaFileAreOptionalAndAnUnknownSchemeIsRefused) {
  EXPECT_EQ(read("[set]\nport=8443\n").IdHTTP1.settings.ca_file, "");
  const auto& m = read("[set]\nscheme=HTTPS\ncafile=/etc/ho/ca.pem\nport=8443\n");
  EXPECT_EQ(m.QueryEndpoint(), "https://127.0.0.1:8443/Vark/ado/index.php");
  EXPECT_EQ(m.ScriptEndpoint(), "https://127.0.0.1:8443/Vark/ado/sql_scripts.php");
  EXPECT_EQ(m.IdHTTP1.settings.ca_file, "/etc/ho/ca.pem");
  EXPECT_THROW(read("[set]\nscheme=ftp\n"), ServiceSettingsError);
}

// Odd bytes in the file: each case still reads, keeps the other keys apart and never fails.
TEST_F(HttpSetIni, OddBytesAreReadLineByLineAndNeverFail) {
  using namespace std::string_literals;
  const std::string long_value(1 << 20, 'h');
  struct Case {
    const char* what;
    std::string ini;
    std::string query;  // the query endpoint read from it
    std::string user = "SYSDBA";
  } cases[] = {
      {"NUL bytes stay in their value", "[set]\nuser_name=a\0b\nport=81\n"s, "http://127.0.0.1:81/Vark/ado/index.php",
       "a\0b"s},
      {"NUL in a key name", "[set]\npo\0rt=1\ndriver=d\n"s, "http://127.0.0.1:80/Vark/d/index.php"},
      {"broken UTF-8 and Big5 kept as bytes", "[set]\nhost=\xC3\x28\xFF\nuser_name=\xA4\n",
       "http://\xC3\x28\xFF:80/Vark/ado/index.php", "\xA4"},
      {"CR-only line ends", "[set]\rhost=h\rport=82\r\ruser_name=u\r", "http://h:82/Vark/ado/index.php", "u"},
      {"BOM and CR LF", "\xEF\xBB\xBF[set]\r\nport=83\r\n", "http://127.0.0.1:83/Vark/ado/index.php"},
      {"UTF-16 is not read", "\xFF\xFE[\0s\0e\0t\0]\0\n\0p\0o\0r\0t\0=\0\x38\0\x35\0"s,
       "http://127.0.0.1:80/Vark/ado/index.php"},
      {"no [set] section", "port=86\n[sets]\nport=87\n[se t]\nport=88\n", "http://127.0.0.1:80/Vark/ado/index.php"},
      {"unclosed section line", "[set\nport=89\n", "http://127.0.0.1:80/Vark/ado/index.php"},
      {"a megabyte line", "[set]\nhost=" + long_value + "\nport=90\n",
       "http://" + long_value + ":90/Vark/ado/index.php"},
      {"a megabyte comment", "[set]\n;" + long_value + "\nport=91\n", "http://127.0.0.1:91/Vark/ado/index.php"},
      {"only blanks", std::string(10000, ' '), "http://127.0.0.1:80/Vark/ado/index.php"},
      {"binary",
       "\x7F"
       "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0[set]\0port=1"s,
       "http://127.0.0.1:80/Vark/ado/index.php"},
  };
  for (const auto& c : cases) {
    const auto& m = read(c.ini);
    EXPECT_EQ(m.QueryEndpoint(), c.query) << c.what;
    EXPECT_EQ(m.ServiceUserName(), c.user) << c.what;
  }
}

// A NUL byte would silently cut the URL handed to the HTTP library and send the request elsewhere.
TEST_F(HttpSetIni, ANulByteInTheEndpointIsAFailedRequestNotAnotherAddress) {
  using namespace std::string_literals;
  testing::LoopbackServer server(testing::kPacket);
  const std::string port = std::to_string(server.port());
  for (const std::string& line : {"driver=ado\0x"s, "host=127.0.0.1:"s + port + "/\0"s}) {
    auto& m = read("[set]\nport=" + port + "\n" + line + "\n");
    RowSet rows;
    boxes.clear();
    EXPECT_THROW(m.OpenRemoteQuery(rows, "select 1"), SilentAbort);
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_NE(boxes.messages()[0].find("NUL"), std::string::npos) << boxes.messages()[0];
    EXPECT_THROW(m.ExecRemoteStatement("x"), HttpError);
    EXPECT_FALSE(m.PostSqlScript({"x ;"}));  // its whole URL is percent-encoded, the NUL as %00
  }
  ASSERT_EQ(server.requests().size(), 2u);
  for (const auto& request : server.requests()) EXPECT_NE(request.find("%00"), std::string::npos) << request;
}

TEST(EncodeUrl, KeepsTheUrlSignsAndEncodesEverythingElse) {
  EXPECT_EQ(TDataModHttp::EncodeUrl("a b=c"), "a%20b%3Dc");
  const std::string kept = "AZaz09$-_@.&+!*\"(),;/#?:";
  EXPECT_EQ(TDataModHttp::EncodeUrl(kept), kept);
  EXPECT_EQ(TDataModHttp::EncodeUrl(std::string("%'<>~\x7F\t\0\xA4\xA4", 10)), "%25%27%3C%3E%7E%7F%09%00%A4%A4");
  // Byte by byte: a Big5 trail byte that is a letter stays as it is.
  EXPECT_EQ(TDataModHttp::EncodeUrl("\xB0\x65"), "%B0e");
}

TEST(EncodeUrl, ScriptUrlKeepsItsShapeButNotItsEqualsSigns) {
  EXPECT_EQ(TDataModHttp::EncodeUrl("http://127.0.0.1:80/Vark/ado/sql_scripts.php?user_name=SYSDBA&password=quillbark"),
            "http://127.0.0.1:80/Vark/ado/sql_scripts.php?user_name%3DSYSDBA&password%3Dquillbark");
}

}  // namespace
}  // namespace pos
