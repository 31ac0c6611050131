#pragma once

#include <QObject>
#include <QTest>
#include <memory>
#include <vector>

namespace opc::test {

// Each test class registers itself here; the test main runs them all.
using TestFactory = std::unique_ptr<QObject> (*)();
std::vector<TestFactory>& Registry();
int RunAppTests(int argc, char* argv[]);

template <class T> struct Register {
  Register() {
    Registry().push_back([]() -> std::unique_ptr<QObject> { return std::make_unique<T>(); });
  }
};

} // namespace opc::test
