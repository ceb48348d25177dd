#include "host/zek_host/openapi_document.h"

#include <set>
#include <string_view>

#include "host/services/service_values.h"
#include "zek/plugin_abi.h"

namespace Varn::Host {
namespace {

constexpr std::string_view kJson = "application/json";

const char* MethodKey(uint32_t method) {
  switch (method) {
    case PLUGIN_METHOD_DELETE:
      return "delete";
    case PLUGIN_METHOD_GET:
      return "get";
    case PLUGIN_METHOD_HEAD:
      return "head";
    case PLUGIN_METHOD_OPTIONS:
      return "options";
    case PLUGIN_METHOD_PATCH:
      return "patch";
    case PLUGIN_METHOD_POST:
      return "post";
    case PLUGIN_METHOD_PUT:
      return "put";
    default:
      return nullptr;
  }
}

bool TakesBody(uint32_t method) {
  return method == PLUGIN_METHOD_PATCH || method == PLUGIN_METHOD_POST ||
         method == PLUGIN_METHOD_PUT;
}

// Component names may hold letters, digits, ".", "-" and "_" only.
std::string ComponentName(std::string_view name) {
  std::string out;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == '_';
    out += ok ? c : '_';
  }
  return out;
}

class Builder {
 public:
  explicit Builder(BindingProperty& doc) : doc_(doc) {}

  // Registers the record and enumeration types of a help record as components.
  void AddTypes(const BindingProperty& types) {
    for (size_t i = 0; i < types.Size(); ++i) {
      const BindingProperty& type = types.At(i);
      std::string name = ComponentName(type.Find("name").GetString());
      if (name.empty() || known_.contains(name)) continue;
      known_.insert(name);
      pending_.push_back(&type);
    }
    for (const BindingProperty* type : pending_) AddType(*type);
    pending_.clear();
  }

  // The schema of a type identifier {"type", "elementType"}.
  BindingProperty Schema(std::string_view type, std::string_view element) const {
    BindingProperty schema;
    schema.MakeStructure();
    if (type == "bool") {
      schema.Field("type").SetString("boolean");
    } else if (type == "int8" || type == "int16" || type == "int32" || type == "uint8" ||
               type == "uint16") {
      schema.Field("type").SetString("integer");
      schema.Field("format").SetString("int32");
      if (type.starts_with('u')) schema.Field("minimum").SetUnsigned(0);
    } else if (type == "int64" || type == "uint32" || type == "uint64") {
      schema.Field("type").SetString("integer");
      schema.Field("format").SetString("int64");
      if (type.starts_with('u')) schema.Field("minimum").SetUnsigned(0);
    } else if (type == "float" || type == "double") {
      schema.Field("type").SetString("number");
    } else if (type == "string") {
      schema.Field("type").SetString("string");
    } else if (type == "blob") {
      schema.Field("type").SetString("string");
      schema.Field("contentEncoding").SetString("base64");
    } else if (type == "vector") {
      schema.Field("type").SetString("array");
      schema.Field("items") = Schema(element, {});
    } else if (type == "map") {
      schema.Field("type").SetString("object");
      schema.Field("additionalProperties") = Schema(element, {});
    } else if (known_.contains(ComponentName(type))) {
      schema.Field("$ref").SetString("#/components/schemas/" + ComponentName(type));
    }
    // "object" (any value) and whatever is not known stay the empty schema: any JSON value.
    return schema;
  }

  BindingProperty SchemaOf(const BindingProperty& identifier) const {
    return Schema(identifier.Find("type").GetString(), identifier.Find("elementType").GetString());
  }

  void AddOperation(std::string_view path, const char* method, BindingProperty operation) {
    BindingProperty& item = doc_.Field("paths").Field(path);
    item.Field(method) = std::move(operation);
  }

  std::string OperationId(std::string_view wanted) {
    std::string id = ComponentName(wanted);
    std::string unique = id;
    for (int n = 2; operationIds_.contains(unique); ++n) unique = id + "_" + std::to_string(n);
    operationIds_.insert(unique);
    return unique;
  }

 private:
  void AddType(const BindingProperty& type) {
    std::string name = ComponentName(type.Find("name").GetString());
    BindingProperty schema;
    const BindingProperty& values = type.Find("values");
    const BindingProperty& fields = type.Find("fields");
    if (values.Size() != 0 && fields.Size() == 0) {
      schema.Field("type").SetString("string");
      BindingProperty& names = schema.Field("enum");
      names.MakeCollection();
      for (size_t i = 0; i < values.Size(); ++i) {
        names.Append().SetString(values.At(i).Find("name").GetString());
      }
    } else {
      schema.Field("type").SetString("object");
      BindingProperty& properties = schema.Field("properties");
      properties.MakeStructure();
      BindingProperty required;
      required.MakeCollection();
      for (size_t i = 0; i < fields.Size(); ++i) {
        const BindingProperty& field = fields.At(i);
        std::string_view field_name = field.Find("name").GetString();
        properties.Field(field_name) = SchemaOf(field.Find("type"));
        if (!field.Find("optional").GetBool(false)) required.Append().SetString(field_name);
      }
      if (required.Size() != 0) schema.Field("required") = std::move(required);
    }
    std::string_view description = type.Find("description").GetString();
    if (!description.empty()) schema.Field("description").SetString(description);
    doc_.Field("components").Field("schemas").Field(name) = std::move(schema);
  }

  BindingProperty& doc_;
  std::set<std::string> known_;
  std::vector<const BindingProperty*> pending_;
  std::set<std::string> operationIds_;
};

BindingProperty JsonContent(BindingProperty schema) {
  BindingProperty content;
  content.Field(kJson).Field("schema") = std::move(schema);
  return content;
}

BindingProperty Ref(std::string_view name) {
  BindingProperty schema;
  schema.Field("$ref").SetString("#/components/schemas/" + std::string(name));
  return schema;
}

BindingProperty TypeSchema(std::string_view type) {
  BindingProperty schema;
  schema.MakeStructure();
  if (!type.empty()) schema.Field("type").SetString(type);
  return schema;
}

// Responses: 200 with `result` (or 204 when there is none), and the error form otherwise.
BindingProperty Responses(const BindingProperty* result, std::string_view content_type = kJson) {
  BindingProperty responses;
  if (result != nullptr) {
    BindingProperty& ok = responses.Field("200");
    ok.Field("description").SetString("The answer");
    ok.Field("content").Field(content_type).Field("schema") = *result;
  } else {
    responses.Field("204").Field("description").SetString("Done; no content");
  }
  BindingProperty& error = responses.Field("default");
  error.Field("description").SetString("An error: its status and message");
  error.Field("content") = JsonContent(Ref("Error"));
  return responses;
}

BindingProperty Parameter(std::string_view name, std::string_view in, bool required,
                          BindingProperty schema, std::string_view description = {}) {
  BindingProperty parameter;
  parameter.Field("name").SetString(name);
  parameter.Field("in").SetString(in);
  parameter.Field("required").SetBool(required);
  parameter.Field("schema") = std::move(schema);
  if (!description.empty()) parameter.Field("description").SetString(description);
  return parameter;
}

// "{+name}" and "{#name}" are written "{name}" in OpenAPI; the names, in order.
std::string OpenApiPath(std::string_view path, std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '{') {
      out += path[i];
      continue;
    }
    size_t close = path.find('}', i);
    if (close == std::string_view::npos) close = path.size();
    std::string_view name = path.substr(i + 1, close - i - 1);
    if (!name.empty() && (name[0] == '+' || name[0] == '#')) name.remove_prefix(1);
    names.emplace_back(name);
    out += "{" + std::string(name) + "}";
    i = close;
  }
  return out;
}

BindingProperty Operation(Builder& builder, std::string_view id, std::string_view summary,
                          std::string_view tag) {
  BindingProperty operation;
  operation.Field("operationId").SetString(builder.OperationId(id));
  operation.Field("summary").SetString(summary);
  operation.Field("tags").MakeCollection();
  operation.Field("tags").Append().SetString(tag);
  return operation;
}

void AddPluginFunction(Builder& builder, const PluginApi& plugin, const PluginApi::Function& fn) {
  const char* method = MethodKey(fn.method);
  if (method == nullptr || fn.call) return;
  std::vector<std::string> path_names;
  std::string path = OpenApiPath(fn.path, path_names);
  const BindingProperty* help = nullptr;
  const BindingProperty& functions = plugin.help.Find("functions");
  for (size_t i = 0; i < functions.Size(); ++i) {
    if (functions.At(i).Find("name").GetString() == fn.name) help = &functions.At(i);
  }
  BindingProperty operation =
      Operation(builder, fn.name, std::string(method) + " " + fn.path, plugin.shortName);
  BindingProperty parameters;
  parameters.MakeCollection();
  for (const std::string& name : path_names) {
    parameters.Append() = Parameter(name, "path", true, TypeSchema("string"));
  }
  std::vector<const BindingProperty*> body_arguments;
  if (help != nullptr) {
    const BindingProperty& arguments = help->Find("arguments");
    for (size_t i = 0; i < arguments.Size(); ++i) {
      const BindingProperty& argument = arguments.At(i);
      std::string_view name = argument.Find("name").GetString();
      bool in_path = false;
      for (const std::string& path_name : path_names) in_path = in_path || path_name == name;
      if (in_path) continue;
      if (TakesBody(fn.method)) {
        body_arguments.push_back(&argument);
      } else {
        parameters.Append() = Parameter(name, "query", !argument.Find("optional").GetBool(false),
                                        builder.SchemaOf(argument.Find("type")),
                                        argument.Find("description").GetString());
      }
    }
  }
  if (parameters.Size() != 0) operation.Field("parameters") = std::move(parameters);
  if (body_arguments.size() == 1) {
    const BindingProperty& argument = *body_arguments[0];
    BindingProperty& body = operation.Field("requestBody");
    body.Field("required").SetBool(!argument.Find("optional").GetBool(false));
    body.Field("content") = JsonContent(builder.SchemaOf(argument.Find("type")));
  } else if (body_arguments.size() > 1) {
    BindingProperty schema = TypeSchema("object");
    for (const BindingProperty* argument : body_arguments) {
      schema.Field("properties").Field(argument->Find("name").GetString()) =
          builder.SchemaOf(argument->Find("type"));
    }
    BindingProperty& body = operation.Field("requestBody");
    body.Field("required").SetBool(true);
    body.Field("content") = JsonContent(std::move(schema));
  }
  std::string_view returns = help != nullptr ? help->Find("returns").Find("type").GetString() : "";
  if (help == nullptr) {
    BindingProperty any = TypeSchema({});
    operation.Field("responses") = Responses(&any);
  } else if (returns.empty() || returns == "void") {
    operation.Field("responses") = Responses(nullptr);
  } else {
    BindingProperty result = builder.SchemaOf(help->Find("returns"));
    operation.Field("responses") = Responses(&result);
  }
  builder.AddOperation(path, method, std::move(operation));
}

struct HostPath {
  const char* method;
  const char* path;
  const char* id;
  const char* summary;
  const char* body;    // component or JSON type of the request body; null: none
  const char* result;  // component or JSON type of the answer; null: 204
};

// The paths the host serves itself. "*" as the result: any JSON value.
constexpr HostPath kHostPaths[] = {
    {"get", "/help", "GetHelp", "The loaded plugins' API descriptions", nullptr, "*"},
    {"get", "/openapi.json", "GetOpenApi", "This document", nullptr, "object"},
    {"get", "/varnclient/command-line-args", "GetCommandLineArgs",
     "The host's --name=value arguments", nullptr, "StringList"},
    {"get", "/data-store/v1/install-dir", "GetInstallDir", "The installation directory", nullptr,
     "string"},
    {"get", "/data-store/v1/install-settings/{key}", "GetInstallSetting",
     "A stored install setting (404 when absent)", nullptr, "*"},
    {"post", "/data-store/v1/install-settings/{key}", "PostInstallSetting",
     "Stores an install setting", "*", nullptr},
    {"get", "/zek-login/v1/session", "GetLoginSession", "The login session (404 when logged out)",
     nullptr, "LoginSessionBody"},
    {"put", "/zek-login/v1/session", "PutLoginSession", "Logs in (Create, then Update events)",
     "LoginSessionBody", "LoginSessionBody"},
    {"delete", "/zek-login/v1/session", "DeleteLoginSession", "Logs out (a Delete event)", nullptr,
     nullptr},
    {"get", "/zek-player-preferences/v1/player-preferences-ready", "GetPlayerPreferencesReady",
     "Whether the player-preferences service is ready", nullptr, "boolean"},
    {"put", "/zek-player-preferences/v1/player-preferences-ready", "PutPlayerPreferencesReady",
     "Marks the service ready or not (an Update event)", "boolean", "boolean"},
    {"post", "/zek-player-preferences/v1/hash", "PostPreferenceHash", "The SHA-256 of a file text",
     "string", "string"},
    {"get", "/zek-player-preferences/v1/preference/{ppType}", "GetCloudPreference",
     "The session account's copy (304 when ?hash= matches, 404 when none)", nullptr, "CloudCopy"},
    {"put", "/zek-player-preferences/v1/preference", "PutCloudPreference",
     "Uploads the session account's copy", "PreferenceUpload", "CloudCopy"},
    {"get", "/zek-game-settings/v1/{category}", "GetGameSettings",
     "game-settings or input-settings", nullptr, "object"},
    {"patch", "/zek-game-settings/v1/{category}", "PatchGameSettings",
     "Merges into game-settings or input-settings (an Update event)", "object", "object"},
    {"post", "/zek-game-settings/v1/save", "PostGameSettingsSave", "Saves the game settings",
     nullptr, nullptr},
    {"get", "/zek-platform-config/v1/namespaces/QevSettings", "GetQevSettings",
     "The QevSettings namespace", nullptr, "object"},
    {"put", "/zek-platform-config/v1/namespaces/QevSettings", "PutQevSettings",
     "Replaces the QevSettings namespace (an Update event)", "object", "object"},
    {"post", "/telemetry/v1/events/{name}", "PostTelemetryEvent",
     "Appends the event to telemetry.jsonl", "object", nullptr},
    {"get", "/host/v1/cloud/{accountId}/{ppType}", "GetHostCloudCopy",
     "An account's cloud copy (404 when none)", nullptr, "CloudCopy"},
    {"put", "/host/v1/cloud/{accountId}/{ppType}", "PutHostCloudCopy",
     "Seeds a cloud copy as another machine's upload", "CloudSeed", "CloudCopy"},
    {"get", "/host/v1/faults", "GetHostFaults", "The faults in force", nullptr, "Faults"},
    {"put", "/host/v1/faults", "PutHostFaults", "Takes the player-preferences service up or down",
     "Faults", "Faults"},
};

BindingProperty HostSchema(std::string_view name) {
  if (name == "*") return TypeSchema({});
  if (name == "object" || name == "string" || name == "boolean") return TypeSchema(name);
  return Ref(name);
}

void AddHostComponents(BindingProperty& schemas) {
  BindingProperty error = TypeSchema("object");
  error.Field("properties").Field("httpStatus") = TypeSchema("integer");
  error.Field("properties").Field("message") = TypeSchema("string");
  error.Field("required").MakeCollection();
  error.Field("required").Append().SetString("httpStatus");
  error.Field("required").Append().SetString("message");
  schemas.Field("Error") = std::move(error);

  BindingProperty list = TypeSchema("array");
  list.Field("items") = TypeSchema("string");
  schemas.Field("StringList") = std::move(list);

  BindingProperty session = TypeSchema("object");
  BindingProperty& state = session.Field("properties").Field("state");
  state = TypeSchema("string");
  state.Field("enum").MakeCollection();
  for (const char* name : {"IN_PROGRESS", "SUCCEEDED", "LOGGING_OUT", "ERROR"}) {
    state.Field("enum").Append().SetString(name);
  }
  session.Field("properties").Field("profileId") = TypeSchema("integer");
  session.Field("properties").Field("accountId") = TypeSchema("integer");
  session.Field("properties").Field("authToken") = TypeSchema({});
  session.Field("required").MakeCollection();
  session.Field("required").Append().SetString("state");
  schemas.Field("LoginSessionBody") = std::move(session);

  BindingProperty copy = TypeSchema("object");
  copy.Field("properties").Field("data") = TypeSchema("string");
  copy.Field("properties").Field("modified") = TypeSchema("integer");
  copy.Field("properties").Field("type") = TypeSchema("string");
  copy.Field("properties").Field("version") = TypeSchema("string");
  schemas.Field("CloudCopy") = std::move(copy);

  BindingProperty upload = TypeSchema("object");
  upload.Field("properties").Field("data") = TypeSchema("string");
  upload.Field("properties").Field("type") = TypeSchema("string");
  upload.Field("properties").Field("version") = TypeSchema("string");
  upload.Field("required").MakeCollection();
  upload.Field("required").Append().SetString("data");
  upload.Field("required").Append().SetString("type");
  schemas.Field("PreferenceUpload") = std::move(upload);

  BindingProperty seed = TypeSchema("object");
  seed.Field("properties").Field("data") = TypeSchema("string");
  seed.Field("required").MakeCollection();
  seed.Field("required").Append().SetString("data");
  schemas.Field("CloudSeed") = std::move(seed);

  BindingProperty faults = TypeSchema("object");
  BindingProperty& pp = faults.Field("properties").Field("player-preferences");
  pp = TypeSchema("string");
  pp.Field("enum").MakeCollection();
  pp.Field("enum").Append().SetString("up");
  pp.Field("enum").Append().SetString("down");
  schemas.Field("Faults") = std::move(faults);
}

void AddHostPaths(Builder& builder) {
  for (const HostPath& host_path : kHostPaths) {
    std::vector<std::string> names;
    std::string path = OpenApiPath(host_path.path, names);
    BindingProperty operation = Operation(builder, host_path.id, host_path.summary, "zek-host");
    BindingProperty parameters;
    parameters.MakeCollection();
    for (const std::string& name : names) {
      parameters.Append() = Parameter(name, "path", true, TypeSchema("string"));
    }
    if (std::string_view(host_path.path) == "/zek-player-preferences/v1/preference/{ppType}") {
      parameters.Append() =
          Parameter("hash", "query", false, TypeSchema("string"), "the hash of the caller's copy");
    }
    if (parameters.Size() != 0) operation.Field("parameters") = std::move(parameters);
    if (host_path.body != nullptr) {
      BindingProperty& body = operation.Field("requestBody");
      body.Field("required").SetBool(true);
      body.Field("content") = JsonContent(HostSchema(host_path.body));
    }
    if (host_path.result != nullptr) {
      BindingProperty result = HostSchema(host_path.result);
      operation.Field("responses") = Responses(&result);
    } else {
      operation.Field("responses") = Responses(nullptr);
    }
    builder.AddOperation(path, host_path.method, std::move(operation));
  }
  BindingProperty events =
      Operation(builder, "GetEvents", "Every published event as Server-Sent Events", "zek-host");
  events.Field("parameters").MakeCollection();
  events.Field("parameters").Append() = Parameter("prefix", "query", false, TypeSchema("string"),
                                                  "only events whose uri starts with this text");
  BindingProperty stream = TypeSchema("string");
  events.Field("responses") = Responses(&stream, "text/event-stream");
  builder.AddOperation("/events", "get", std::move(events));
}

}  // namespace

std::string OpenApiDocument(const std::vector<PluginApi>& plugins, uint16_t port) {
  BindingProperty doc;
  doc.Field("openapi").SetString("3.1.0");
  doc.Field("info").Field("title").SetString("zek-host");
  doc.Field("info").Field("version").SetString("1.0.0");
  doc.Field("info")
      .Field("description")
      .SetString(
          "The loaded plugins' functions and the host's own paths, on 127.0.0.1. Every "
          "request logs in with HTTP Basic: user \"zek\", the token of the lockfile.");
  doc.Field("servers").MakeCollection();
  doc.Field("servers").Append().Field("url").SetString("http://127.0.0.1:" + std::to_string(port));
  doc.Field("paths").MakeStructure();
  BindingProperty& schemas = doc.Field("components").Field("schemas");
  schemas.MakeStructure();
  AddHostComponents(schemas);
  BindingProperty& basic = doc.Field("components").Field("securitySchemes").Field("basicAuth");
  basic.Field("type").SetString("http");
  basic.Field("scheme").SetString("basic");
  doc.Field("security").MakeCollection();
  doc.Field("security").Append().Field("basicAuth").MakeCollection();

  Builder builder(doc);
  for (const PluginApi& plugin : plugins) builder.AddTypes(plugin.help.Find("types"));
  for (const PluginApi& plugin : plugins) {
    for (const PluginApi::Function& fn : plugin.functions) AddPluginFunction(builder, plugin, fn);
  }
  AddHostPaths(builder);
  return ToJson(doc);
}

}  // namespace Varn::Host
