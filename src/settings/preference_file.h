// The rules of a preference file that need no plugin frame: the layout of a category record, how
// a file is loaded and which of its categories are announced, the schema-version rule of a
// partial write, the merge, and how a file is written. The settings plugin and `zek-prefs` both
// use them, so the tool reports exactly what the plugin does.
//
// A file holds one YAML document whose root maps category names to category records:
//
//   <category>:
//     schemaVersion: <signed integer; 0 when the category is unknown>
//     data: <any value, as a rule a mapping>
//
// Lines end in CR LF and no "---" is written.
#ifndef ZEK_SETTINGS_PREFERENCE_FILE_H_
#define ZEK_SETTINGS_PREFERENCE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/file_system.h"

namespace Varn::Client::Settings {

inline constexpr std::string_view kSchemaVersionKey = "schemaVersion";
inline constexpr std::string_view kDataKey = "data";
inline constexpr std::string_view kPreferenceLineBreak = "\r\n";
// Beside a file that could not be loaded, the copy of its bytes kept before it is replaced.
inline constexpr std::string_view kCorruptSuffix = ".corrupt";

// The record of a category that is not stored: schemaVersion 0, data Empty.
BindingProperty DefaultCategoryRecord();

// A copy of the category's record in `root`, or the default record when `root` is not a
// structure, lacks the category or holds it Empty.
BindingProperty GetSettingCategory(const BindingProperty& root, std::string_view category);

// A loaded category is announced only when its record is a structure with a "data" member; the
// others are kept as they are but never announced.
bool IsAnnouncedCategory(const BindingProperty& record);

// The stored schema version of a record: its "schemaVersion" as a signed 64-bit integer, 0 when
// absent or not an integer.
int64_t StoredSchemaVersion(const BindingProperty& record);
// True when "schemaVersion" is stored as an integer (signed or unsigned).
bool HasIntegerSchemaVersion(const BindingProperty& record);

enum class SchemaVersionOrder { kOlder, kEqual, kNewer };
// How an incoming version compares with the one stored for a category that exists.
SchemaVersionOrder CompareSchemaVersion(const BindingProperty& stored_record, int32_t incoming);

// Steps 1 to 3 of a partial write of `category` in `root`: refuses (false, nothing changed) an
// incoming version older than the stored one; a newer one drops the stored category first; then
// sets the version and merges `data` into the category's data.
bool ApplyCategoryPatch(BindingProperty& root, std::string_view category, int32_t schema_version,
                        const BindingProperty& data);

// Merges `source` into `destination`: only a structure source merges; members with an empty
// name are skipped, structures merge recursively, every other value replaces the destination's
// member whole. Members the source does not name are kept.
void MergeSettingsData(BindingProperty& destination, const BindingProperty& source);

// The outcome of loading a file.
struct PreferenceFileLoad {
  enum class State { kMissing, kFailed, kLoaded };
  State state = State::kMissing;
  BindingProperty root;  // kLoaded: the whole document (Empty for an empty file)
  std::string error;     // kFailed: the reader's message
};

// Loads `path`. A path that names no regular file is kMissing.
PreferenceFileLoad LoadPreferenceFile(std::string_view path);

// The exact text a file holding `root` is written with (empty for an Empty root).
std::string PreferenceFileText(const BindingProperty& root);

// Creates the missing folders above `path`, then replaces the file atomically with
// PreferenceFileText(root). Fails with the writer's message; an Empty root fails with
// "Failed to serialize BindingProperty." and writes nothing.
FileStatus SavePreferenceFileAtomically(std::string_view path, const BindingProperty& root);

// Keeps the current bytes of `path` at `path` + ".corrupt", replacing an older copy atomically.
// Succeeds without writing when there is no file at `path`.
FileStatus KeepCorruptCopy(std::string_view path);

}  // namespace Varn::Client::Settings

#endif  // ZEK_SETTINGS_PREFERENCE_FILE_H_
