// Loads a generated product packet (default 100,000 rows x 30 columns) into a RowSet and
// reports the time next to its floor (expat parsing the same bytes with empty handlers) and
// the peak memory next to the packet's size.
//
//   packet_load_bench [ROWS]

#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "packet/packet_writer.h"
#include "packet/row_set.h"
#include "text/big5.h"

namespace {

using Clock = std::chrono::steady_clock;

long status_kb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
  return 0;
}

void reset_peak() {
  std::ofstream("/proc/self/clear_refs") << "5";  // resets VmHWM to the current RSS
}

std::string make_packet(int rows) {
  using pos::field_of_type;
  std::vector<pos::PacketField> fields;
  const char* text_cols[] = {"PROD_ID",      "BAR_CODE", "PDC_NAME",   "INV_NAME",  "PDC_UNIT", "PD_CLASSID",
                             "PDC_TYPE",     "TAX_KIND", "STOP_CODE",  "PROD_ID2",  "P_PU",     "P_PU2",
                             "MEM_DISCOUNT", "POINT_YN", "PROD_SCALE", "STOCK_QTY", "MS",       "PUT_ID"};
  const char* num_cols[] = {"SALE_PRICE", "PSALE_PRICE", "STD_COST", "PCH_PRICE", "VIP_PRICE", "CR_PRICE",
                            "P_PRICE",    "P_PRICE2",    "N_PRICE",  "FREE_TAX",  "HEA_TAX",   "DEF_PROFIT"};
  for (const char* c : text_cols) fields.push_back(field_of_type(c, "string", 40));
  for (const char* c : num_cols) fields.push_back(field_of_type(c, "r8"));
  const std::string names[] = {pos::big5("統一蜜豆奶"), pos::big5("義美小泡芙"), pos::big5("黑松沙士"),
                               pos::big5("乖乖玉米脆果")};
  pos::PacketWriter w(fields);
  std::vector<pos::Value> row(fields.size());
  for (int r = 0; r < rows; ++r) {
    char id[16];
    std::snprintf(id, sizeof id, "P%07d", r);
    for (std::size_t c = 0; c < std::size(text_cols); ++c)
      row[c] = pos::Value(std::string(id) + "-" + std::to_string(c));
    row[1] = pos::Value("471" + std::to_string(1000000000 + r));
    row[2] = pos::Value(names[r % 4] + std::to_string(r % 50) + pos::big5("入"));
    row[3] = row[2];
    for (std::size_t c = 0; c < std::size(num_cols); ++c)
      row[std::size(text_cols) + c] = (r % 7 == 0 && c == 4) ? pos::Value() : pos::Value(10.5 + (r % 1000) + c);
    w.add_row(row);
  }
  return w.finish();
}

void XMLCALL no_start(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL no_end(void*, const XML_Char*) {}

double expat_floor(const std::string& data) {
  auto t0 = Clock::now();
  XML_Parser p = XML_ParserCreate("UTF-8");
  XML_SetElementHandler(p, no_start, no_end);
  constexpr std::size_t kPiece = 1 << 20;  // as the reader feeds it
  for (std::size_t at = 0; at < data.size(); at += kPiece) {
    std::size_t len = std::min(kPiece, data.size() - at);
    if (XML_Parse(p, data.data() + at, static_cast<int>(len), at + len >= data.size()) != XML_STATUS_OK) std::abort();
  }
  XML_ParserFree(p);
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  std::string data = make_packet(rows);
  double mb = static_cast<double>(data.size()) / (1024 * 1024);

  double floor = 1e9, load = 1e9;
  long floor_peak = 0;
  for (int i = 0; i < 3; ++i) {
    reset_peak();
    long before = status_kb("VmRSS:");
    floor = std::min(floor, expat_floor(data));
    floor_peak = std::max(floor_peak, status_kb("VmHWM:") - before);
  }

  long rss_before = 0, peak = 0;
  for (int i = 0; i < 3; ++i) {
    pos::RowSet rs;
    reset_peak();
    rss_before = status_kb("VmRSS:");
    auto t0 = Clock::now();
    rs.load(data);
    load = std::min(load, std::chrono::duration<double>(Clock::now() - t0).count());
    peak = std::max(peak, status_kb("VmHWM:") - rss_before);
    if (rs.row_count() != static_cast<std::size_t>(rows)) std::abort();
  }
  std::printf("packet: %d rows x 30 columns, %.1f MiB\n", rows, mb);
  std::printf("expat floor (empty handlers): %.3f s\n", floor);
  std::printf("RowSet::load:                 %.3f s  (%.2fx the floor; target <= 2x)\n", load, load / floor);
  std::printf("peak memory added by load:    %.1f MiB  (%.2fx the packet; target <= 2x; expat alone: %.1f MiB)\n",
              peak / 1024.0, peak / 1024.0 / mb, floor_peak / 1024.0);
  return 0;
}
