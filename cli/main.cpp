// quorvel-cli: the converter's core without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ConvertCommand.h"

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "convert") == 0)
    return RunConvertCommand(std::vector<std::string>(argv + 2, argv + argc));
  std::fprintf(stderr, "usage: quorvel-cli <command> ...\n  convert   run one conversion task\n");
  return 2;
}
