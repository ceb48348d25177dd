#include "binding/binding_type_info.h"

#include <algorithm>

namespace Varn {

const BindingEnumerator* BindingTypeInfo::FindEnumerator(std::string_view enumerator_name) const {
  auto it = std::lower_bound(
      enumerators.begin(), enumerators.end(), enumerator_name,
      [](const BindingEnumerator& e, std::string_view name) { return e.name < name; });
  return it != enumerators.end() && it->name == enumerator_name ? &*it : nullptr;
}

const BindingEnumerator* BindingTypeInfo::FindEnumerator(int64_t value) const {
  for (const BindingEnumerator& e : enumerators) {
    if (e.value == value) return &e;
  }
  return nullptr;
}

}  // namespace Varn
