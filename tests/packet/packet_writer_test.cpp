#include "packet/packet_writer.h"

#include <gtest/gtest.h>

#include "packet/row_set.h"
#include "text/big5.h"

namespace pos {
namespace {

std::vector<PacketField> product_fields() {
  return {field_of_type("PROD_ID", "string", 20), field_of_type("PDC_NAME", "string", 40),
          field_of_type("SALE_PRICE", "r8"),      field_of_type("PACK_QTY", "i4"),
          field_of_type("AMT", "fixed", 10, 2),   field_of_type("D", "date"),
          field_of_type("MEMO", "bin.hex")};
}

TEST(PacketWriter, EverySpecialCharacterSurvivesTheRoundTrip) {
  const std::string tricky = "a&b<c>d\"e'f\tg\r\nh" + big5("送禮") + "\x01";
  PacketWriter w(product_fields());
  std::vector<Value> row = {Value(tricky), Value(big5("小熊餅乾")), Value(0.1), Value(6),
                            Value(12.345), Value("2026/12/08"),     Value("x")};
  w.add_row(row);
  w.add_row(std::vector<Value>{Value("B"), Value(), Value(), Value(), Value(), Value(), Value()});
  std::string doc = w.finish();

  RowSet rs;
  rs.load(doc);
  ASSERT_EQ(rs.row_count(), 2u);
  EXPECT_EQ(rs.text("PROD_ID"), "a&b<c>d\"e'f\tg\r\nh" + big5("送禮") + "?");  // control byte replaced
  EXPECT_EQ(rs.text("PDC_NAME"), big5("小熊餅乾"));
  EXPECT_EQ(rs.value("SALE_PRICE"), Value(0.1));
  EXPECT_EQ(rs.value("PACK_QTY"), Value(6));
  EXPECT_EQ(rs.text("AMT"), "12.35");
  EXPECT_EQ(rs.text("D"), "2026/12/08");
  rs.next();
  EXPECT_TRUE(rs.is_null("PDC_NAME"));
  EXPECT_EQ(rs.fields()[4].decimals, 2);
}

TEST(PacketWriter, ARowSetSavesItselfAsAPacketThatLoadsTheSame) {
  PacketWriter w(product_fields(), /*texts_are_utf8=*/true);
  w.add_row(std::vector<Value>{Value("P1"), Value("芒果乾"), Value(99.5), Value(1), Value(3.0), Value("2025/01/31"),
                               Value("memo")});
  w.add_row(std::vector<Value>{Value("P2"), Value(), Value(-2.5), Value(), Value(), Value(), Value()});
  RowSet first;
  first.load(w.finish());

  RowSet again;
  again.load(first.to_packet());
  ASSERT_EQ(again.row_count(), first.row_count());
  ASSERT_EQ(again.field_count(), first.field_count());
  for (std::size_t r = 0; r < first.row_count(); ++r)
    for (std::size_t c = 0; c < first.field_count(); ++c)
      EXPECT_EQ(again.value_at(r, c), first.value_at(r, c)) << "row " << r << " column " << c;
  EXPECT_EQ(again.value_at(0, 1).text(), big5("芒果乾"));
}

// Bytes that only look like UTF-8 (overlong forms, surrogates, U+FFFF), and column names in Big5:
// whatever a row set holds, the packet it saves is one that loads again with its names.
TEST(PacketWriter, WhateverTheRowSetHoldsItSavesAPacketThatLoads) {
  const std::string name = big5("品名");
  const std::string looks_like_utf8[] = {"\xE0\x81\x81",     "\xED\xBA\xBA", "\xEF\xBF\xBF",
                                         "\xF4\x90\x80\x80", "\xC0\xAF",     "\xF0\x80\x80\xAF"};
  for (const std::string& bytes : looks_like_utf8) {
    PacketWriter w({field_of_type(name, "string", 20), field_of_type("AMT", "fixed", 10, 2)});
    w.add_row(std::vector<Value>{Value("a" + bytes), Value("1" + bytes)});
    RowSet again;
    ASSERT_NO_THROW(again.load(w.finish())) << bytes;
    EXPECT_EQ(again.fields()[0].name, name);
    EXPECT_EQ(again.row_count(), 1u);
  }
}

}  // namespace
}  // namespace pos
