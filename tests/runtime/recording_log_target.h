// Test helpers: a target that keeps what it is given, and a fixture that gives each test a
// freshly reset logger with only the targets it attaches itself.
#ifndef ZEK_TESTS_RUNTIME_RECORDING_LOG_TARGET_H_
#define ZEK_TESTS_RUNTIME_RECORDING_LOG_TARGET_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "runtime/log_pattern.h"
#include "runtime/logger.h"

namespace Varn {

struct RecordedLine {
  int32_t level;
  uint64_t mask;
  std::string message;
  std::string line;  // the record expanded with the target's pattern
};

class RecordingLogTarget : public LogTarget {
 public:
  explicit RecordingLogTarget(std::string name = "RecordingLogTarget") : name_(std::move(name)) {}
  ~RecordingLogTarget() override { Detach(); }

  std::string_view Name() const override { return name_; }
  bool Write(const LogRecord& record) override {
    char line[kLogBufferSize];
    size_t length = ExpandPattern(PatternLocked(), record, line);
    lines.push_back(
        {record.level, record.CategoryMask(), record.message, std::string(line, length)});
    return true;
  }

  std::vector<RecordedLine> lines;

 private:
  std::string name_;
};

inline LogTime FixedTime() { return LogTime{2024, 3, 5, 6, 7, 8, 9}; }

class LoggerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Logger& logger = Logger::Acquire();
    logger.SetClock(LogClock{&FixedTime, nullptr});
    // Console targets stay out of the way of the test's output and its recording target.
    logger.StdErrTarget().Detach();
    logger.DebuggerTarget().Detach();
  }
  void TearDown() override {
    Logger::Instance().SetClock(LogClock{});
    Logger::Release();
  }
  Logger& logger() { return Logger::Instance(); }
};

}  // namespace Varn

#endif  // ZEK_TESTS_RUNTIME_RECORDING_LOG_TARGET_H_
