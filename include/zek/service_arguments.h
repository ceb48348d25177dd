/* The paths of the client services that the settings plugin calls, and the names of the named
 * arguments that carry their request values. The plugin sends them and a host's stand-in services
 * read them, so both sides take them from here. Plain C (C99 and C++). */
#ifndef ZEK_SERVICE_ARGUMENTS_H_
#define ZEK_SERVICE_ARGUMENTS_H_

/* POST: the string argument ZEK_PP_HASH_TEXT_ARGUMENT holds the whole text of an account file;
 * the answer is a string, the service's hash of that text. */
#define ZEK_PP_HASH_PATH "/zek-player-preferences/v1/hash"
#define ZEK_PP_HASH_TEXT_ARGUMENT "text"

/* GET ZEK_PP_PREFERENCE_PATH "/" ppType: the string argument ZEK_PP_DOWNLOAD_HASH_ARGUMENT holds
 * the hash the hash call answered. The answer is the record {"data": text, "modified": ms}, or an
 * error with status 304 when the service's copy has that hash.
 * PUT ZEK_PP_PREFERENCE_PATH: the argument ZEK_PP_UPLOAD_RECORD_ARGUMENT holds the record
 * {"data": text, "type": ppType, "version": "1.0"}; the answer is the stored record. */
#define ZEK_PP_PREFERENCE_PATH "/zek-player-preferences/v1/preference"
#define ZEK_PP_DOWNLOAD_HASH_ARGUMENT "hash"
#define ZEK_PP_UPLOAD_RECORD_ARGUMENT "preference"

/* GET and PATCH ZEK_GAME_SETTINGS_PATH category ("game-settings", "input-settings"): a PATCH
 * carries the category's data in the argument ZEK_GAME_SETTINGS_VALUE_ARGUMENT and answers the
 * merged value. POST ZEK_GAME_SETTINGS_SAVE_PATH takes no argument. */
#define ZEK_GAME_SETTINGS_PATH "/zek-game-settings/v1/"
#define ZEK_GAME_SETTINGS_SAVE_PATH "/zek-game-settings/v1/save"
#define ZEK_GAME_SETTINGS_VALUE_ARGUMENT "value"

/* POST ZEK_DATA_STORE_INSTALL_SETTINGS_PATH key: the argument ZEK_DATA_STORE_VALUE_ARGUMENT holds
 * the value to store under the key (for the settings plugin, an owner record {"accountId",
 * "timestamp", "modified"}); GET of the same path answers the stored value. */
#define ZEK_DATA_STORE_INSTALL_SETTINGS_PATH "/data-store/v1/install-settings/"
#define ZEK_DATA_STORE_VALUE_ARGUMENT "value"

#endif /* ZEK_SERVICE_ARGUMENTS_H_ */
