#include "cli/Send.h"

#include <iostream>

int main(int argc, char* argv[]) {
  try {
    return opc::cli::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                    std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "opcxmlda-cli: " << error.what() << "\n";
    return 70;
  }
}
