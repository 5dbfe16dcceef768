#include <iostream>

#include "Tandemoctl.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tandemo::runTandemoctl(args, std::cout, std::cerr);
}
