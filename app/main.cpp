// pos-updater: brings the terminal's database up to date from head office.

#include "app/program.h"

int main(int argc, char** argv) { return pos::run_program(argc, argv); }
