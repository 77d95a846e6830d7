#include <gtest/gtest.h>

#include "packet/packet_loader.h"
#include "packet/row_set.h"
#include "text/big5.h"

namespace pos {
namespace {

std::string packet(const std::string& decl, const std::string& fields, const std::string& rows) {
  return decl + "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + fields + "</FIELDS><PARAMS/></METADATA><ROWDATA>" +
         rows + "</ROWDATA></DATAPACKET>";
}

const std::string kUtf8Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";

TEST(PacketReader, EveryFieldTypeAsTextFloatAndTypedValue) {
  RowSet rs;
  rs.load(packet(kUtf8Decl,
                 "<FIELD attrname=\"PROD_ID\" fieldtype=\"string\" WIDTH=\"20\" required=\"true\"/>"
                 "<FIELD attrname=\"SALE_PRICE\" fieldtype=\"r8\"/>"
                 "<FIELD attrname=\"PACK_QTY\" fieldtype=\"i4\"/>"
                 "<FIELD attrname=\"AMT\" fieldtype=\"fixed\" DECIMALS=\"2\" WIDTH=\"10\"/>"
                 "<FIELD attrname=\"OK\" fieldtype=\"boolean\"/>"
                 "<FIELD attrname=\"D\" fieldtype=\"date\"/>"
                 "<FIELD attrname=\"T\" fieldtype=\"time\"/>"
                 "<FIELD attrname=\"DT\" fieldtype=\"dateTime\"/>"
                 "<FIELD attrname=\"MEMO\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>",
                 "<ROW RowState=\"4\" PROD_ID=\"A001\" SALE_PRICE=\"100.50\" PACK_QTY=\"6\" AMT=\"12.30\" OK=\"TRUE\" "
                 "D=\"20261208\" T=\"16:32:45000\" DT=\"20261208T16:32:45123\" MEMO=\"line1&#13;&#10;line2\"/>"
                 "<ROW PROD_ID=\"\"/>"));
  ASSERT_EQ(rs.row_count(), 2u);
  EXPECT_EQ(rs.recno(), 1u);
  EXPECT_EQ(rs.text("prod_id"), "A001");
  EXPECT_EQ(rs.text("SALE_PRICE"), "100.5");
  EXPECT_EQ(rs.as_float("SALE_PRICE"), 100.5);
  EXPECT_EQ(rs.value("SALE_PRICE"), Value(100.5));
  EXPECT_EQ(rs.value("PACK_QTY"), Value(6));
  EXPECT_EQ(rs.text("AMT"), "12.3");
  EXPECT_EQ(rs.text("OK"), "True");
  EXPECT_EQ(rs.text("D"), "2026/12/08");
  EXPECT_EQ(rs.text("T"), "16:32:45");
  EXPECT_EQ(rs.text("DT"), "2026/12/08 16:32:45");
  EXPECT_EQ(rs.text("MEMO"), "line1\r\nline2");
  EXPECT_THROW(rs.as_float("PROD_ID"), PacketError);

  rs.next();
  EXPECT_EQ(rs.recno(), 2u);
  EXPECT_FALSE(rs.is_null("PROD_ID"));  // an empty attribute is empty text
  EXPECT_EQ(rs.text("PROD_ID"), "");
  EXPECT_TRUE(rs.is_null("SALE_PRICE"));  // an absent attribute is null
  EXPECT_EQ(rs.text("SALE_PRICE"), "");
  EXPECT_EQ(rs.as_float("SALE_PRICE"), 0);
  EXPECT_TRUE(rs.value("PACK_QTY").is_null());
  rs.next();
  EXPECT_TRUE(rs.eof());
  rs.first();
  EXPECT_EQ(rs.text("PROD_ID"), "A001");
  try {
    rs.text("VIP_PRICE");
    FAIL();
  } catch (const PacketError& e) {
    EXPECT_NE(std::string(e.what()).find("VIP_PRICE"), std::string::npos);
  }
}

TEST(PacketReader, TextArrivesAsBig5WhateverTheDocumentEncoding) {
  const std::string name = big5("送禮小熊");  // 送 = B0 65: a trail byte in the a-z range
  const std::string fields = "<FIELD attrname=\"NAME\" fieldtype=\"string\" WIDTH=\"20\"/>";
  struct Case {
    const char* what;
    std::string doc;
  } cases[] = {
      {"UTF-8", packet(kUtf8Decl, fields, "<ROW NAME=\"送禮小熊\"/>")},
      {"BOM and blanks", "\xEF\xBB\xBF  \n" + packet(kUtf8Decl, fields, "<ROW NAME=\"送禮小熊\"/>")},
      {"Big5", packet("<?xml version=\"1.0\" encoding=\"Big5\"?>", fields, "<ROW NAME=\"" + name + "\"/>")},
      {"CP950", packet("<?xml version='1.0' encoding='cp950'?>", fields, "<ROW NAME=\"" + name + "\"/>")},
      {"no declaration", "\r\n" + packet("", fields, "<ROW NAME=\"" + name + "\"/>")},
      {"declaration without encoding", packet("<?xml version=\"1.0\"?>", fields, "<ROW NAME=\"" + name + "\"/>")},
      {"character references",
       packet("<?xml version=\"1.0\" encoding=\"Big5\"?>", fields, "<ROW NAME=\"&#36865;&#31150;&#x5C0F;&#x718A;\"/>")},
      {"letter case",
       "<datapacket version=\"2.0\"><metadata><fields><field ATTRNAME=\"name\" FIELDTYPE=\"STRING\" "
       "width=\"20\"/></fields></metadata><rowdata><row Name=\"" +
           name + "\"/></rowdata></datapacket>"},
  };
  for (const auto& c : cases) {
    RowSet rs;
    ASSERT_NO_THROW(rs.load(c.doc)) << c.what;
    ASSERT_EQ(rs.row_count(), 1u) << c.what;
    EXPECT_EQ(rs.text("NAME"), name) << c.what;
    // The same document arriving a byte at a time, as an answer may.
    RowSet piecewise;
    PacketLoader loader(piecewise);
    for (char ch : c.doc) loader.feed(std::string_view(&ch, 1));
    ASSERT_TRUE(loader.finish()) << c.what;
    EXPECT_EQ(piecewise.text("NAME"), name) << c.what;
  }
  // A column named in Chinese is found by its Big5 name, and its rows name it too.
  RowSet rs;
  ASSERT_NO_THROW(rs.load(
      packet(kUtf8Decl, "<FIELD attrname=\"品名\" fieldtype=\"string\" WIDTH=\"20\"/>", "<ROW 品名=\"送禮小熊\"/>")));
  EXPECT_EQ(rs.text(big5("品名")), name);
}

TEST(PacketReader, AnythingButAPacketFailsWithTheWholeAnswer) {
  const std::string fields = "<FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"5\"/>";
  const std::string good = packet(kUtf8Decl, fields, "<ROW A=\"x\"/>");
  const std::string bad[] = {
      "<html><body><h1>500 Internal Server Error</h1></body></html>",
      good.substr(0, good.size() - 20),  // cut off
      "",
      "OK",
      "<?xml version=\"1.0\"?><RESULTS><ROW A=\"x\"/></RESULTS>",
      packet(kUtf8Decl, fields, "<ROW A=\"x\" B=\"y\"/>"),  // B names no field
      packet(kUtf8Decl, "<FIELD attrname=\"A\" fieldtype=\"blob\"/>", ""),
      packet("<?xml version=\"1.0\" encoding=\"KOI8-R\"?>", fields, ""),
      packet(kUtf8Decl, "<FIELD attrname=\"D\" fieldtype=\"date\"/>", "<ROW D=\"2026-12-08\"/>"),
      // Columns declared after the rows began: the rows would name columns the row set lacks.
      "<DATAPACKET><ROWDATA/><METADATA><FIELDS>" + fields +
          "</FIELDS></METADATA><ROWDATA><ROW A=\"1\"/></ROWDATA></DATAPACKET>",
      // A declaration too long to tell the encoding from, wherever the answer is cut into pieces.
      "<?xml version=\"1.0\"" + std::string(5000, ' ') + "encoding=\"KOI8-R\"?>" + good.substr(kUtf8Decl.size()),
  };
  for (const auto& doc : bad) {
    RowSet rs;
    rs.load(good);
    try {
      rs.load(doc);
      ADD_FAILURE() << "loaded: " << doc;
    } catch (const PacketError& e) {
      EXPECT_EQ(std::string(e.what()), doc);
    }
    EXPECT_EQ(rs.row_count(), 0u) << doc;  // the earlier content is gone, nothing half-loaded
    EXPECT_EQ(rs.field_count(), 0u);
    PacketLoader loader(rs);
    for (char ch : doc) loader.feed(std::string_view(&ch, 1));
    EXPECT_FALSE(loader.finish()) << doc;
  }
}

TEST(PacketReader, ANewLoadReplacesTheContentAndKeepsFieldOrder) {
  RowSet rs;
  rs.load(packet(kUtf8Decl, "<FIELD attrname=\"A\" fieldtype=\"i4\"/>", "<ROW A=\"1\"/><ROW A=\"2\"/><ROW A=\"3\"/>"));
  rs.next();
  rs.load(packet(kUtf8Decl,
                 "<FIELD attrname=\"Z\" fieldtype=\"string\" WIDTH=\"1\"/><FIELD attrname=\"B\" fieldtype=\"i2\"/>",
                 "<ROW B=\"7\" Z=\"z\"/>"));
  EXPECT_EQ(rs.row_count(), 1u);
  EXPECT_EQ(rs.recno(), 1u);
  ASSERT_EQ(rs.field_count(), 2u);
  EXPECT_EQ(rs.fields()[0].name, "Z");
  EXPECT_EQ(rs.value(1), Value(7));
  EXPECT_FALSE(rs.find_field("A").has_value());
  rs.load(packet(kUtf8Decl, "<FIELD attrname=\"A\" fieldtype=\"i4\"/>", ""));
  EXPECT_EQ(rs.row_count(), 0u);
  EXPECT_EQ(rs.recno(), 0u);
  EXPECT_TRUE(rs.eof());
  EXPECT_TRUE(rs.is_null("A"));
}

}  // namespace
}  // namespace pos
