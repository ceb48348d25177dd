#include "settings/preference_file.h"

namespace Varn::Client::Settings {

BindingProperty DefaultCategoryRecord() { return {}; }
BindingProperty GetSettingCategory(const BindingProperty&, std::string_view) { return {}; }
bool IsAnnouncedCategory(const BindingProperty&) { return false; }
int64_t StoredSchemaVersion(const BindingProperty&) { return 0; }
bool HasIntegerSchemaVersion(const BindingProperty&) { return false; }
SchemaVersionOrder CompareSchemaVersion(const BindingProperty&, int32_t) {
  return SchemaVersionOrder::kEqual;
}
bool ApplyCategoryPatch(BindingProperty&, std::string_view, int32_t, const BindingProperty&) {
  return false;
}
void MergeSettingsData(BindingProperty&, const BindingProperty&) {}
PreferenceFileLoad LoadPreferenceFile(std::string_view) { return {}; }
std::string PreferenceFileText(const BindingProperty&) { return {}; }
FileStatus SavePreferenceFileAtomically(std::string_view, const BindingProperty&) {
  return FileStatus::Ok();
}
FileStatus KeepCorruptCopy(std::string_view) { return FileStatus::Ok(); }

}  // namespace Varn::Client::Settings
