// Expansion of a target's line pattern for one record.
#ifndef ZEK_RUNTIME_LOG_PATTERN_H_
#define ZEK_RUNTIME_LOG_PATTERN_H_

#include <cstddef>
#include <span>
#include <string_view>

#include "runtime/log_record.h"

namespace Varn {

// Copies `pattern` into `line`, replacing "#" and a code letter:
//   #D  the record's time, "2024-03-05T06:07:08.009"
//   #E  the executable's file name
//   #G  the names of the record's categories in bit order, separated by ";"
//   #H  seconds since the first reading of the monotonic clock, "000012.345"
//   #L  the level name
//   #M  the message
//   #T  the calling thread's id as a pointer
// "#" and any other character give that character alone; a final "#" gives nothing. The line
// always ends with exactly one line feed (an empty pattern gives just that) and a NUL: text that
// does not fit is cut so that both still do. Returns the line's length without the NUL.
size_t ExpandPattern(std::string_view pattern, const LogRecord& record,
                     std::span<char, kLogBufferSize> line);

}  // namespace Varn

#endif  // ZEK_RUNTIME_LOG_PATTERN_H_
