#include "AppTests.h"

#include <cstdio>
#include <cstring>

namespace opc::test {

std::vector<RegisteredTest>& Registry() {
  static std::vector<RegisteredTest> registry;
  return registry;
}

std::string ShortClassName(const char* qualified) {
  const char* name = std::strrchr(qualified, ':');
  return name ? name + 1 : qualified;
}

// "--list-classes" prints the class names, one a line, for the build's test discovery; a class name
// as the first argument runs that class alone with the arguments after it; anything else runs all.
int RunAppTests(int argc, char* argv[]) {
  if (argc > 1 && std::strcmp(argv[1], "--list-classes") == 0) {
    for (const RegisteredTest& test : Registry()) {
      std::printf("%s\n", test.name.c_str());
    }
    return 0;
  }
  if (argc > 1) {
    for (const RegisteredTest& test : Registry()) {
      if (test.name == argv[1]) {
        std::vector<char*> rest{argv[0]};
        rest.insert(rest.end(), argv + 2, argv + argc);
        const auto object = test.factory();
        return QTest::qExec(object.get(), static_cast<int>(rest.size()), rest.data());
      }
    }
  }
  int failed = 0;
  for (const RegisteredTest& test : Registry()) {
    const auto object = test.factory();
    failed += QTest::qExec(object.get(), argc, argv);
  }
  return failed;
}

} // namespace opc::test
