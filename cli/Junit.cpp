#include "cli/Junit.h"

#include "base/XmlEscape.h"

#include <cstdio>

namespace opc::cli {

namespace {

std::string Attribute(const std::string& text) {
  std::string out;
  AppendXmlEscaped(out, text, true);
  return out;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

} // namespace

std::string JunitXml(const std::string& suite, const std::vector<TStepResult>& steps) {
  std::size_t failures = 0;
  double total = 0;
  for (const TStepResult& step : steps) {
    failures += step.passed ? 0 : 1;
    total += step.seconds;
  }
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  <testsuite name=\"" +
      Attribute(suite) + "\" tests=\"" + std::to_string(steps.size()) + "\" failures=\"" +
      std::to_string(failures) + "\" errors=\"0\" time=\"" + Seconds(total) + "\">\n";
  for (const TStepResult& step : steps) {
    xml += "    <testcase classname=\"opcxmlda-cli.check\" name=\"" + Attribute(step.name) +
           "\" time=\"" + Seconds(step.seconds) + "\"";
    if (step.passed) {
      xml += "/>\n";
    } else {
      xml += ">\n      <failure message=\"" + Attribute(step.reason) + "\"/>\n    </testcase>\n";
    }
  }
  return xml + "  </testsuite>\n</testsuites>\n";
}

} // namespace opc::cli
