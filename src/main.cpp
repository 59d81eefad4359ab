// velkaris: one unattended synchronisation pass from the front office to the back office.
#include <string>
#include <vector>

#include "run/program.h"

int main(int argc, char** argv) {
  return velkaris::RunProgram(std::vector<std::string>(argv + 1, argv + argc));
}
