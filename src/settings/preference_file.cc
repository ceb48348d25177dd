#include "settings/preference_file.h"

#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"

namespace Varn::Client::Settings {

BindingProperty DefaultCategoryRecord() {
  BindingProperty record;
  record.Field(kSchemaVersionKey).SetSigned(0);
  record.Field(kDataKey);
  return record;
}

BindingProperty GetSettingCategory(const BindingProperty& root, std::string_view category) {
  const BindingProperty* stored = root.TryFind(category);
  if (stored == nullptr || stored->IsEmpty()) return DefaultCategoryRecord();
  return *stored;
}

bool IsAnnouncedCategory(const BindingProperty& record) {
  return record.TryFind(kDataKey) != nullptr;
}

int64_t StoredSchemaVersion(const BindingProperty& record) {
  return record.Find(kSchemaVersionKey).GetInteger(0);
}

bool HasIntegerSchemaVersion(const BindingProperty& record) {
  const BindingPropertyType type = record.Find(kSchemaVersionKey).GetType();
  return type == BindingPropertyType::Signed || type == BindingPropertyType::Unsigned;
}

SchemaVersionOrder CompareSchemaVersion(const BindingProperty& stored_record, int32_t incoming) {
  const int64_t stored = StoredSchemaVersion(stored_record);
  const int64_t widened = incoming;
  if (widened < stored) return SchemaVersionOrder::kOlder;
  return widened > stored ? SchemaVersionOrder::kNewer : SchemaVersionOrder::kEqual;
}

bool ApplyCategoryPatch(BindingProperty& root, std::string_view category, int32_t schema_version,
                        const BindingProperty& data) {
  if (BindingProperty* stored = root.TryFind(category)) {
    switch (CompareSchemaVersion(*stored, schema_version)) {
      case SchemaVersionOrder::kOlder:
        return false;
      case SchemaVersionOrder::kNewer:
        // A newer layout makes the stored data meaningless: none of it survives.
        stored->Reset();
        break;
      case SchemaVersionOrder::kEqual:
        break;
    }
  }
  BindingProperty& record = root.Field(category);
  record.Field(kSchemaVersionKey).SetSigned(schema_version);
  MergeSettingsData(record.Field(kDataKey), data);
  return true;
}

void MergeSettingsData(BindingProperty& destination, const BindingProperty& source) {
  if (source.GetType() != BindingPropertyType::Structure) return;
  source.ForEachMember([&](std::string_view name, const BindingProperty& value) {
    if (name.empty()) return;
    if (value.GetType() == BindingPropertyType::Structure) {
      MergeSettingsData(destination.Field(name), value);
    } else {
      destination.Field(name) = value;
    }
  });
}

PreferenceFileLoad LoadPreferenceFile(std::string_view path) {
  PreferenceFileLoad load;
  if (!IsExistingFile(path)) return load;
  BindingResult loaded = LoadYamlFile(path);
  if (!loaded.IsOk()) {
    load.state = PreferenceFileLoad::State::kFailed;
    load.error = loaded.ErrorMessage();
    return load;
  }
  load.state = PreferenceFileLoad::State::kLoaded;
  load.root = std::move(loaded.value);
  return load;
}

std::string PreferenceFileText(const BindingProperty& root) {
  return WriteYaml(root, nullptr, kPreferenceLineBreak, false);
}

FileStatus SavePreferenceFileAtomically(std::string_view path, const BindingProperty& root) {
  // A folder that cannot be made shows up as the write's own failure.
  (void)CreateParentFolders(path);
  return SaveYamlFile(path, root, nullptr, kPreferenceLineBreak, false);
}

FileStatus KeepCorruptCopy(std::string_view path) {
  if (!IsExistingFile(path)) return FileStatus::Ok();
  std::string bytes;
  FileStatus read = ReadWholeFile(path, bytes);
  if (!read.IsOk()) return read;
  return WriteFileAtomically(std::string(path) + std::string(kCorruptSuffix), bytes);
}

}  // namespace Varn::Client::Settings
