#include "runtime/assert_report.h"

#include "runtime/log_category_table.h"
#include "runtime/logger.h"

namespace Varn {

std::string AssertionReport(std::string_view identifier, std::string_view description,
                            std::string_view file, int line, std::string_view function) {
  std::string report = "Assertion failed!\n\n";
  if (!file.empty()) {
    report += "File: ";
    report += file;
    report += "\n";
  }
  if (line != 0) {
    report += "Line: ";
    report += std::to_string(line);
    report += "\n\n";
  }
  if (!function.empty()) {
    report += "Function: ";
    report += function;
    report += "\n\n";
  }
  if (!identifier.empty()) {
    report += "Expression: ";
    report += identifier;
  }
  if (!description.empty()) {
    report += "\n\nDescription: ";
    report += description;
  }
  return report;
}

void AssertFailed(std::string_view identifier, std::string_view description, std::string_view file,
                  int line, std::string_view function) {
  std::string report = AssertionReport(identifier, description, file, line, function);
  Log(kLogError, static_cast<uint32_t>(kCategoryDbg), 0, "%s", report.c_str());
}

}  // namespace Varn
