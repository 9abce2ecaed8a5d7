// Process entry of kavrix-vrt: the exit status is the run's.
#include <string>
#include <vector>

#include "app/console.h"
#include "app/vrt_run.h"

int main(int argc, char** argv) {
  kavrix::open_standard_descriptors(/*output_is_product=*/true);
  kavrix::take_signals_as_a_companion();
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return kavrix::run_kavrix_vrt(args, stdout, stderr);
}
