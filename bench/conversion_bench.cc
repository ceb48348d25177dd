// Native record to BindingProperty and back, for a record shaped like the login session the
// settings service copies from every login event. The peer does the same round trip through
// nlohmann::json's to_json/from_json.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "binding/binding_convert.h"
#include "binding/binding_record_builder.h"
#include "binding/binding_registry.h"

namespace {

enum class SessionState : int32_t { InProgress = 0, Succeeded = 1, LoggingOut = 2, Error = 3 };

struct Session {
  SessionState state = SessionState::InProgress;
  uint64_t profileId = 0;
  uint64_t accountId = 0;
  Varn::BindingProperty authToken;
};

const Varn::BindingTypeInfo* DeclareSession(Varn::BindingRegistry& registry) {
  Varn::DeclareEnum<SessionState>(registry, "LoginSessionStates")
      .Value("IN_PROGRESS", SessionState::InProgress)
      .Value("SUCCEEDED", SessionState::Succeeded)
      .Value("LOGGING_OUT", SessionState::LoggingOut)
      .Value("ERROR", SessionState::Error);
  return Varn::DeclareStructure<Session>(registry, "LoginSession")
      .Field(ZEK_MEMBER(Session, state), "")
      .Field(ZEK_MEMBER(Session, profileId), "")
      .Field(ZEK_MEMBER(Session, accountId), "")
      .Field(ZEK_MEMBER(Session, authToken), "")
      .Finish();
}

Session SampleSession() {
  Session session;
  session.state = SessionState::Succeeded;
  session.profileId = 1234567890123;
  session.accountId = 9876543210987;
  session.authToken.Field("token").SetString("eyJhbGciOiJIUzI1NiJ9.e30.signature");
  session.authToken.Field("expiry").SetUnsigned(1700000000);
  return session;
}

void BM_SessionRoundTrip(benchmark::State& state) {
  Varn::BindingRegistry registry;
  const Varn::BindingTypeInfo* type = DeclareSession(registry);
  const Session session = SampleSession();
  for (auto _ : state) {
    Varn::BindingResult out = Varn::ToBinding(&session, type);
    Session back;
    Varn::FromBinding(out, out.value, "session", type, &back);
    if (!out.IsOk()) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(back);
  }
}
BENCHMARK(BM_SessionRoundTrip);

// The two halves, to see which one a regression is in.
void BM_SessionToBinding(benchmark::State& state) {
  Varn::BindingRegistry registry;
  const Varn::BindingTypeInfo* type = DeclareSession(registry);
  const Session session = SampleSession();
  for (auto _ : state) {
    Varn::BindingResult out = Varn::ToBinding(&session, type);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_SessionToBinding);

void BM_SessionFromBinding(benchmark::State& state) {
  Varn::BindingRegistry registry;
  const Varn::BindingTypeInfo* type = DeclareSession(registry);
  const Session sample = SampleSession();
  const Varn::BindingResult in = Varn::ToBinding(&sample, type);
  for (auto _ : state) {
    Varn::BindingResult result;
    Session back;
    Varn::FromBinding(result, in.value, "session", type, &back);
    benchmark::DoNotOptimize(back);
  }
}
BENCHMARK(BM_SessionFromBinding);

struct PeerSession {
  SessionState state = SessionState::InProgress;
  uint64_t profileId = 0;
  uint64_t accountId = 0;
  nlohmann::json authToken;
};

NLOHMANN_JSON_SERIALIZE_ENUM(SessionState, {{SessionState::InProgress, "IN_PROGRESS"},
                                            {SessionState::Succeeded, "SUCCEEDED"},
                                            {SessionState::LoggingOut, "LOGGING_OUT"},
                                            {SessionState::Error, "ERROR"}})
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(PeerSession, state, profileId, accountId, authToken)

void BM_PeerNlohmannRoundTrip(benchmark::State& state) {
  PeerSession session;
  session.state = SessionState::Succeeded;
  session.profileId = 1234567890123;
  session.accountId = 9876543210987;
  session.authToken = {{"token", "eyJhbGciOiJIUzI1NiJ9.e30.signature"}, {"expiry", 1700000000u}};
  for (auto _ : state) {
    nlohmann::json out = session;
    PeerSession back = out.get<PeerSession>();
    benchmark::DoNotOptimize(back);
  }
}
BENCHMARK(BM_PeerNlohmannRoundTrip);

}  // namespace

BENCHMARK_MAIN();
