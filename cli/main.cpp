// quorvel-cli: the converter's core without a window.
#include <iostream>
#include <string>
#include <vector>

#include "CliCommands.h"

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return cli::Run(args, std::cout, std::cerr);
}
