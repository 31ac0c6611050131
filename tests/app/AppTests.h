#pragma once

#include <QObject>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

namespace opc::test {

// Each test class registers itself here under its class name. The test main runs them all, or the
// one named as its first argument, so that CTest can run and report each class on its own.
using TestFactory = std::unique_ptr<QObject> (*)();
struct RegisteredTest {
  std::string name;
  TestFactory factory;
};
std::vector<RegisteredTest>& Registry();
std::string ShortClassName(const char* qualified);
int RunAppTests(int argc, char* argv[]);

template <class T> struct Register {
  Register() {
    Registry().push_back({ShortClassName(T::staticMetaObject.className()),
                          []() -> std::unique_ptr<QObject> { return std::make_unique<T>(); }});
  }
};

} // namespace opc::test
