#include "AppTests.h"

namespace opc::test {

std::vector<TestFactory>& Registry() {
  static std::vector<TestFactory> registry;
  return registry;
}

int RunAppTests(int argc, char* argv[]) {
  int failed = 0;
  for (const TestFactory factory : Registry()) {
    const auto test = factory();
    failed += QTest::qExec(test.get(), argc, argv);
  }
  return failed;
}

} // namespace opc::test
