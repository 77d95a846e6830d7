#pragma once
// Program entry: the window (or the headless front), the form, the data module, the message loop.

namespace pos {

int run_program(int argc, char** argv);

}  // namespace pos
