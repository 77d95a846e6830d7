#pragma once
// The chain run: N simulated terminals (simulated_terminal.h) on one head office: PostgreSQL, K
// service processes and HAProxy in front (chain_head_office.h). Each terminal makes a changes update
// every interval, the first at a random moment of the first interval, as timers in the stores would,
// while head office changes products and members at a steady pace and logs every change for every
// terminal (chain_writer.h). After the last interval head office stops writing and every terminal
// makes one more run, which must leave its change logs empty and every change fetched.
//
// Prints one line (runs, failed runs, lost changes, freshness, request times) and a table per
// interval (requests/s, CPU seconds of each part, change-log rows logged, removed and left, and the
// change-log tables' size on disk). Exits 1 on a failed run or a lost change.
//
//   fleet_bench --simulated N [--minutes 30] [--interval-s 300] [--services 2] ...   (--help: all)

namespace pos::fleet {

// The benchmark's main when its command line has --simulated.
int chain_main(int argc, char** argv);

}  // namespace pos::fleet
