#include "zek-prefs/prefs_check.h"

#include "binding/binding_property.h"
#include "binding/message_format.h"
#include "settings/preference_file.h"

namespace Varn::Tools {
namespace {

using Client::Settings::HasIntegerSchemaVersion;
using Client::Settings::IsAnnouncedCategory;
using Client::Settings::LoadPreferenceFile;
using Client::Settings::PreferenceFileLoad;
using Client::Settings::StoredSchemaVersion;

constexpr std::string_view kOkFormat = "%1: ok, %2 categories\n";
constexpr std::string_view kFailedFormat = "%1: %2\n";
constexpr std::string_view kNoDataFormat =
    "%1: warning: category \"%2\" has no \"data\" member; the plugin keeps it but never "
    "announces it\n";
constexpr std::string_view kVersionFormat =
    "%1: warning: category \"%2\" has a \"schemaVersion\" that is not an integer; the plugin "
    "reads it as %3\n";
constexpr std::string_view kMissingFormat =
    "%1: no such file; the plugin reads every category of it as empty\n";
constexpr std::string_view kRootFormat =
    "%1: warning: the file does not hold a mapping of categories; the plugin reads every "
    "category as empty and replaces the file on the first change\n";

void Print(std::FILE* out, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), out);
}

// Returns true when the file loads.
bool CheckFile(const std::string& path, std::FILE* out) {
  const PreferenceFileLoad loaded = LoadPreferenceFile(path);
  switch (loaded.state) {
    case PreferenceFileLoad::State::kMissing:
      Print(out, FormatMessage(kMissingFormat, path));
      return false;
    case PreferenceFileLoad::State::kFailed:
      Print(out, FormatMessage(kFailedFormat, path, loaded.error));
      return false;
    case PreferenceFileLoad::State::kLoaded:
      break;
  }
  const BindingProperty& root = loaded.root;
  const bool is_mapping = root.GetType() == BindingPropertyType::Structure;
  Print(out, FormatMessage(kOkFormat, path, static_cast<uint64_t>(is_mapping ? root.Size() : 0)));
  if (!is_mapping) {
    // An emptied file loads as an Empty root and is fine; anything else loses its content.
    if (!root.IsEmpty()) Print(out, FormatMessage(kRootFormat, path));
    return true;
  }
  root.ForEachMember([&](std::string_view name, const BindingProperty& category) {
    if (!IsAnnouncedCategory(category)) Print(out, FormatMessage(kNoDataFormat, path, name));
    if (!HasIntegerSchemaVersion(category)) {
      Print(out, FormatMessage(kVersionFormat, path, name, StoredSchemaVersion(category)));
    }
  });
  return true;
}

}  // namespace

int RunCheck(const std::vector<std::string>& files, std::FILE* out) {
  bool all_ok = true;
  for (const std::string& path : files) all_ok = CheckFile(path, out) && all_ok;
  return all_ok ? 0 : 1;
}

}  // namespace Varn::Tools
