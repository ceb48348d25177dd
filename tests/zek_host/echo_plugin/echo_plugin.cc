// libzek_echo.so: a tiny plugin written against the C header alone, so the host's tests can see
// what zek-host puts into a request record and how it answers each kind of response, whatever
// the settings plugin serves.
//
//   GET  /echo/v1/request/{+rest}  the request as it arrived: method, path, content type, body,
//                                  the X-Echo header
//   PUT  /echo/v1/record/{id}      takes an EchoRecord body; answers nothing (204)
//   GET  /echo/v1/fail             an error without a status (the host answers 400)
//   GET  /echo/v1/teapot           an error with status 418
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zek/plugin_abi.h"

namespace {

// Owned texts of one answer, freed by its release function.
struct Answer {
  std::vector<char*> texts;
  std::vector<PluginStructEntry> entries;
};

char* Copy(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void Release(PluginResponse* response) {
  Answer* answer = static_cast<Answer*>(response->stream);
  if (answer != nullptr) {
    for (char* text : answer->texts) std::free(text);
    delete answer;
  }
  std::free(response->result.errorText);
  *response = PluginResponse{};
}

void Fail(PluginResponse* response, uint32_t status, const char* message) {
  response->status = status;
  response->result.failed = 1;
  response->result.errorText = Copy(message);
  response->release = &Release;
}

void Echo(PluginResponse* response, const PluginRequest* request) {
  auto* answer = new Answer();
  auto text = [&](const char* key, std::string value) {
    char* owned = Copy(value);
    answer->texts.push_back(owned);
    PluginStructEntry entry{};
    entry.key = key;
    entry.value.kind = PLUGIN_CELL_STRING_REF;
    entry.value.payload.string.text = owned;
    entry.value.payload.string.length = value.size();
    answer->entries.push_back(entry);
  };
  std::string header;
  for (size_t i = 0; i < request->headerCount; ++i) {
    if (strcasecmp(request->headers[i].name, "X-Echo") == 0) header = request->headers[i].value;
  }
  // Entries in key order, as structures are kept.
  text("body", std::string(reinterpret_cast<const char*>(request->body), request->bodyLength));
  text("contentType", request->contentType != nullptr ? request->contentType : "");
  text("header", header);
  text("method", std::to_string(request->method));
  text("path", request->path != nullptr ? request->path : "");
  response->status = 200;
  response->result.value.kind = PLUGIN_CELL_STRUCTURE;
  response->result.value.payload.structure.entries = answer->entries.data();
  response->result.value.payload.structure.count = answer->entries.size();
  response->stream = answer;  // carried to Release; streamRead stays null
  response->release = &Release;
}

void Serve(void*, PluginResponse* response, const PluginRequest* request) {
  *response = PluginResponse{};
  std::string path = request->path != nullptr ? request->path : "";
  path = path.substr(0, path.find('?'));
  if (path.rfind("/echo/v1/request/", 0) == 0) return Echo(response, request);
  if (path == "/echo/v1/fail") return Fail(response, 0, "echo failed as asked");
  if (path == "/echo/v1/teapot") return Fail(response, 418, "I'm a teapot");
  response->status = 204;
  response->release = &Release;
}

const PluginFunctionDescription kFunctions[] = {
    {"GetEchoV1RequestByRest", PLUGIN_METHOD_GET, "/echo/v1/request/{+rest}", "", &Serve, nullptr},
    {"PutEchoV1RecordById", PLUGIN_METHOD_PUT, "/echo/v1/record/{id}", "", &Serve, nullptr},
    {"GetEchoV1Fail", PLUGIN_METHOD_GET, "/echo/v1/fail", "", &Serve, nullptr},
    {"GetEchoV1Teapot", PLUGIN_METHOD_GET, "/echo/v1/teapot", "", &Serve, nullptr},
};

// The help record, built once: {"functions": [...], "types": [...]} as boundary cells.
struct Help {
  std::vector<std::vector<PluginStructEntry>> structures;
  std::vector<std::vector<PluginCell>> lists;

  PluginCell Text(const char* text) {
    PluginCell cell{};
    cell.kind = PLUGIN_CELL_STRING_REF;
    cell.payload.string.text = text;
    cell.payload.string.length = std::strlen(text);
    return cell;
  }
  PluginCell Flag(bool value) {
    PluginCell cell{};
    cell.kind = PLUGIN_CELL_BOOL;
    cell.payload.boolean = value ? 1 : 0;
    return cell;
  }
  PluginCell Struct(std::vector<PluginStructEntry> entries) {
    structures.push_back(std::move(entries));
    PluginCell cell{};
    cell.kind = PLUGIN_CELL_STRUCTURE;
    cell.payload.structure.entries = structures.back().data();
    cell.payload.structure.count = structures.back().size();
    return cell;
  }
  PluginCell List(std::vector<PluginCell> cells) {
    lists.push_back(std::move(cells));
    PluginCell cell{};
    cell.kind = PLUGIN_CELL_COLLECTION;
    cell.payload.collection.cells = lists.back().data();
    cell.payload.collection.count = lists.back().size();
    return cell;
  }
  PluginStructEntry Entry(const char* key, PluginCell value) { return {key, value, 0}; }
  PluginCell Type(const char* type) { return Struct({Entry("type", Text(type))}); }
  PluginCell Argument(const char* name, const char* type, bool optional) {
    return Struct(
        {Entry("name", Text(name)), Entry("optional", Flag(optional)), Entry("type", Type(type))});
  }
  PluginCell Function(const char* name, std::vector<PluginCell> arguments, const char* returns) {
    return Struct({Entry("arguments", List(std::move(arguments))), Entry("name", Text(name)),
                   Entry("returns", Type(returns))});
  }
  PluginCell Field(const char* name, const char* type) {
    return Struct(
        {Entry("name", Text(name)), Entry("optional", Flag(false)), Entry("type", Type(type))});
  }

  PluginCell Build() {
    structures.reserve(64);
    lists.reserve(16);
    PluginCell functions =
        List({Function("GetEchoV1RequestByRest", {Argument("rest", "string", false)}, "object"),
              Function("PutEchoV1RecordById",
                       {Argument("id", "string", false), Argument("record", "EchoRecord", false)},
                       "void"),
              Function("GetEchoV1Fail", {}, "void"), Function("GetEchoV1Teapot", {}, "void")});
    PluginCell types = List(
        {Struct({Entry("fields", List({Field("schemaVersion", "int32"), Field("data", "object")})),
                 Entry("name", Text("EchoRecord")), Entry("values", List({}))})});
    return Struct({Entry("functions", functions), Entry("types", types)});
  }
};

Help& TheHelp() {
  static Help help;
  return help;
}

ApiDescription& TheDescription() {
  static ApiDescription description{kFunctions, sizeof kFunctions / sizeof kFunctions[0],
                                    TheHelp().Build()};
  return description;
}

uint8_t Start(void*, const PluginHostRecord*) { return 1; }
void Stop(void*) {}
void Stats(void*, PluginMemoryStats* stats) { *stats = PluginMemoryStats{}; }

const PluginCallbacks kCallbacks{&Start, &Stop, &Stats};

}  // namespace

extern "C" PLUGIN_EXPORT void load_zek_echo(PluginLoadRecord* record) {
  record->callbacks = &kCallbacks;
  record->context = nullptr;
  record->shortName = "zek-echo";
  record->description = &TheDescription();
}
