#pragma once

#include <string>
#include <vector>

namespace opc::cli {

struct TStepResult {
  std::string name;
  bool passed = true;
  std::string reason; // why it failed, or what it found
  double seconds = 0;
};

// The steps as one JUnit test suite, the XML that CI systems read.
std::string JunitXml(const std::string& suite, const std::vector<TStepResult>& steps);

} // namespace opc::cli
