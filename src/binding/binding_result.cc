#include "binding/binding_property.h"

namespace Varn {
namespace {
constexpr std::string_view kErrorMember = "error";
}  // namespace

void BindingResult::SetError(std::string_view message) {
  value.Reset();
  ok = false;
  value.Field(kErrorMember).SetString(message);
}

std::string BindingResult::ErrorMessage() const {
  if (ok) return std::string();
  return std::string(value.Find(kErrorMember).GetString());
}

}  // namespace Varn
