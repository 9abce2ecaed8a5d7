// The run sequence of the tool, from the arguments to the exit status.
#ifndef KAVRIX_APP_RUN_H_
#define KAVRIX_APP_RUN_H_

#include <string>
#include <vector>

#include "grid/grid_header.h"
#include "app/console.h"

namespace kavrix {

/// The output format that the fifth argument chooses: "-f:" anywhere in it,
/// then the first character after its first ':' is 's' for single or 'd'
/// for double; anything else, or no fifth argument, chooses text.
GridFormat output_format_from_switch(const std::vector<std::string>& args);

/// Runs the tool on `args` (the command-line arguments after the program
/// name) and returns the exit status. Every failure's message has been
/// printed on console.out; every file of the run is closed on return.
int run_kavrix(const std::vector<std::string>& args, const Console& console);

}  // namespace kavrix

#endif  // KAVRIX_APP_RUN_H_
