#include "binding/static_type.h"

#include <cstdio>

namespace Varn {

StaticType::StaticType(uint32_t hash_code, const char* declared_name)
    : hashCode_(hash_code), name_(declared_name), fallbackName_{} {
  std::snprintf(fallbackName_, sizeof(fallbackName_), "#%08X", hash_code);
}

}  // namespace Varn
