#include "runtime/logging_interface.h"

#include <span>

#include "runtime/log_category_table.h"
#include "runtime/log_pattern.h"
#include "runtime/logger.h"

namespace Varn {
namespace {

// Null texts arrive from C callers; they read as empty rather than crash.
const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

constexpr LoggingInterface kInterface = {
    [] { return kLoggingInterfaceVersion; },
    [] { Logger::Acquire(); },
    [] { Logger::Release(); },
    [](int32_t level) { Logger::Instance().SetMinimumLevel(level); },
    [] { return Logger::Instance().MinimumLevel(); },
    [](uint32_t low, uint32_t high) {
      Logger::Instance().SetExcludedCategories((uint64_t{high} << 32) | low);
    },
    [] { return Logger::Instance().ExcludedCategories(); },
    [] { Logger::Instance().Disable(); },
    [] { Logger::Instance().Enable(); },
    [] { Logger::Instance().SetSecondFlag(true); },
    [] { Logger::Instance().SetSecondFlag(false); },
    [](LogTarget* target) { Logger::Instance().Attach(target); },
    [](LogTarget* target) { Logger::Instance().Detach(target); },
    [](const char* name) { return Logger::Instance().FindAttached(OrEmpty(name)); },
    [](const char* name) { return RegisterCategory(OrEmpty(name)); },
    [](int32_t level) { return LevelName(level); },
    [](const char* pattern, const LogRecord* record, char* line) -> size_t {
      if (record == nullptr || line == nullptr) return 0;
      return ExpandPattern(OrEmpty(pattern), *record,
                           std::span<char, kLogBufferSize>(line, kLogBufferSize));
    },
};

}  // namespace

const LoggingInterface& GetLoggingInterface() { return kInterface; }

}  // namespace Varn
