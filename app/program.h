// The program entry: the command line, the clock, the window and the loop.
#pragma once

namespace zol {

// Runs zol; returns the process exit code.
int RunZol(int argc, char** argv);

}  // namespace zol
