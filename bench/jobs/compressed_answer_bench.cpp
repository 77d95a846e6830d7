// The full product update (job 0) of PRODUCTS products into an empty LOC_PDC, with plain answers
// and with gzipped ones (compress=1), against the reference service on loopback: the answer
// bodies' bytes on the wire, the run's time, and what the transfer alone would take on a store's
// link of a few Mbit/s.
//
//   compressed_answer_bench [PRODUCTS]      (default 50000)

#include <cstdio>
#include <cstdlib>

#include "bench/jobs/bench_support.h"
#include "tests/support/terminal.h"

using namespace pos;
using namespace pos::bench;

int main(int argc, char** argv) {
  const int products = argc > 1 ? std::atoi(argv[1]) : 50000;
  std::printf("seeding %d products...\n", products);
  testing::ReferenceService service({"--scale", "small", "--products", std::to_string(products)});
  testing::Terminal terminal(service);
  terminal.start({"1"});
  TFormTollmere& form = terminal.form();
  HttpClient& http = form.DataModHttp->http();

  std::printf("\n%-11s %14s %10s %12s %12s %12s\n", "answers", "wire bytes", "job 0 s", "at 2 Mbit/s", "at 10 Mbit/s",
              "at 100 Mbit/s");
  for (bool compressed : {false, true, false, true}) {
    http.settings.compressed_answers = compressed;
    const std::uint64_t before = http.wire_bytes;
    const auto [counts, seconds] = time_job(form, 1, 0);
    const double bytes = static_cast<double>(http.wire_bytes - before);
    std::printf("%-11s %14.0f %10.2f %11.1fs %11.1fs %11.1fs   (%zu rows written)\n", compressed ? "gzip" : "plain",
                bytes, seconds, bytes * 8 / 2e6, bytes * 8 / 10e6, bytes * 8 / 100e6, counts.written);
  }
  return 0;
}
