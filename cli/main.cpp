// quorvel-cli: the converter's core without a window.
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
  std::fprintf(stderr, "usage: quorvel-cli <command> ...\n");
  return 2;
}
