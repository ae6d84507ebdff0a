#include "tests/peers/peer_behaviour.h"

#include <google/protobuf/struct.pb.h>
#include <google/protobuf/util/json_util.h>

#include <array>
#include <charconv>
#include <string_view>

#include "tests/peers/peer_struct.h"

namespace revizer::peers {
namespace {

using Kind = Behaviour::Kind;

constexpr std::string_view kPrefix = "behave:";

// Field numbers of the wire messages, for the parts written by hand.
constexpr int kResponseEvents = 1, kEventPayload = 7, kResponsePadding = 15, kResponseFiller = 14;

constexpr std::array<std::string_view, 17> kStatusNames = {
    "OK",           "CANCELLED",           "UNKNOWN", "INVALID_ARGUMENT", "DEADLINE_EXCEEDED", "NOT_FOUND",
    "ALREADY_EXISTS", "PERMISSION_DENIED", "RESOURCE_EXHAUSTED", "FAILED_PRECONDITION", "ABORTED",
    "OUT_OF_RANGE", "UNIMPLEMENTED",       "INTERNAL", "UNAVAILABLE",      "DATA_LOSS",         "UNAUTHENTICATED"};

bool parse_number(std::string_view text, long long& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

Result<Behaviour, std::string> parse_behaviour(std::string_view spec, const std::string& trajectory_id) {
  const auto bad = [&] { return fail("unknown or malformed behaviour '" + trajectory_id + "'"); };
  const std::size_t colon = spec.find(':');
  const std::string_view name = spec.substr(0, colon);
  const std::string_view argument = colon == std::string_view::npos ? std::string_view() : spec.substr(colon + 1);
  const bool has_argument = colon != std::string_view::npos;

  struct Plain {
    std::string_view name;
    Kind kind;
  };
  static constexpr Plain kPlain[] = {
      {"echo", Kind::Echo},           {"missing-payload", Kind::MissingPayload},
      {"bad-payload", Kind::BadPayload}, {"never-answer", Kind::NeverAnswer},
      {"close-connection", Kind::CloseConnection}, {"metadata", Kind::Metadata},
      {"no-message", Kind::NoMessage}, {"bad-protobuf", Kind::BadProtobuf},
  };
  for (const Plain& plain : kPlain) {
    if (name == plain.name) return has_argument ? bad() : Result<Behaviour, std::string>(Behaviour{plain.kind, 0, {}});
  }

  Behaviour behaviour;
  if (name.starts_with("wrong-count") && !has_argument) {
    // "wrong-count+1", "wrong-count-2": a sign, then how many answers more or
    // fewer than events (from_chars reads a '-' but no '+').
    std::string_view count = name.substr(std::string_view("wrong-count").size());
    if (count.starts_with('+') && !count.starts_with("+-")) count.remove_prefix(1);
    else if (!count.starts_with('-')) return bad();
    if (!parse_number(count, behaviour.number) || behaviour.number == 0) return bad();
    behaviour.kind = Kind::WrongCount;
    return behaviour;
  }
  if (name == "status") {
    // "status:<code>:<message>"; the message may hold colons of its own.
    const std::size_t split = argument.find(':');
    if (split == std::string_view::npos) return bad();
    const std::string_view code = argument.substr(0, split);
    behaviour.message = std::string(argument.substr(split + 1));
    if (!parse_number(code, behaviour.number)) {
      behaviour.number = -1;
      for (std::size_t i = 0; i < kStatusNames.size(); ++i) {
        if (code == kStatusNames[i]) behaviour.number = static_cast<long long>(i);
      }
    }
    // OK cannot end a call that answers nothing: that is "no-message".
    if (behaviour.number < 1 || behaviour.number > 16) return bad();
    behaviour.kind = Kind::Status;
    return behaviour;
  }
  struct Numbered {
    std::string_view name;
    Kind kind;
  };
  static constexpr Numbered kNumbered[] = {
      {"deny-at", Kind::DenyAt}, {"delay-ms", Kind::DelayMs}, {"answer-size", Kind::AnswerSize}};
  for (const Numbered& numbered : kNumbered) {
    if (name != numbered.name) continue;
    if (!has_argument || !parse_number(argument, behaviour.number) || behaviour.number < 0) return bad();
    behaviour.kind = numbered.kind;
    return behaviour;
  }
  return bad();
}

PeerObject default_payload(const wire::Event& event) {
  return {
      {"decision", "Allow"},
      {"mode", "monitor"},
      {"reason", event.event_type() + "/" + event.event_name()},
      {"metadata", PeerList{PeerObject{
                       {"policy_id", "peer-default"},
                       {"description", "allows every event"},
                       {"metadata", PeerObject{{"peer", "revizer-test-peer"}, {"answer", "default"}}},
                   }}},
      {"policy_sources", PeerList{PeerObject{
                             {"name", "peer-policies"},
                             {"version", 3},
                             {"labels", PeerObject{{"tier", "test"}, {"scope", "loopback"}}},
                             {"policies", PeerList{PeerObject{{"name", "peer-default"}}}},
                         }}},
  };
}

void set_reason(PeerObject& payload, std::string reason) {
  for (PeerMember& member : payload) {
    if (member.key == "reason") member.value = std::move(reason);
  }
}

// The request event as JSON: its header fields, the timestamp as its two
// numbers (a leap-second instant has no RFC 3339 form in protobuf's JSON),
// and the payload Struct.
std::string echo_json(const wire::Event& event) {
  google::protobuf::Struct echo;
  auto& fields = *echo.mutable_fields();
  fields["event_id"].set_string_value(event.event_id());
  fields["trajectory_id"].set_string_value(event.trajectory_id());
  fields["agent_id"].set_string_value(event.agent_id());
  if (event.has_timestamp()) {
    auto& timestamp = *fields["timestamp"].mutable_struct_value()->mutable_fields();
    timestamp["seconds"].set_number_value(static_cast<double>(event.timestamp().seconds()));
    timestamp["nanos"].set_number_value(event.timestamp().nanos());
  } else {
    fields["timestamp"].set_null_value(google::protobuf::NULL_VALUE);
  }
  fields["event_type"].set_string_value(event.event_type());
  fields["event_name"].set_string_value(event.event_name());
  if (event.has_payload()) {
    *fields["payload"].mutable_struct_value() = event.payload();
  } else {
    fields["payload"].set_null_value(google::protobuf::NULL_VALUE);
  }
  std::string json;
  if (!google::protobuf::util::MessageToJsonString(echo, &json).ok()) return "null";
  return json;
}

// One answer event: the request event's identifiers and time, typed as the
// Adjudicated control event, with the payload given (none when null).
std::string answer_event(const wire::Event& request_event, const PeerObject* payload) {
  wire::Event answer;
  answer.set_event_id(request_event.event_id());
  answer.set_trajectory_id(request_event.trajectory_id());
  answer.set_agent_id(request_event.agent_id());
  if (request_event.has_timestamp()) *answer.mutable_timestamp() = request_event.timestamp();
  answer.set_event_type("control");
  answer.set_event_name("adjudicated");
  std::string bytes = answer.SerializeAsString();
  if (payload) append_length_delimited(bytes, kEventPayload, encode_struct(*payload));
  return bytes;
}

std::size_t varint_size(unsigned long long value) {
  std::size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

// Pads an answer with fields it does not define (so every decoder skips them)
// until it is exactly `target` bytes long.
Result<std::string, std::string> pad_to(std::string answer, unsigned long long target) {
  for (int filler = 0; filler < 2; ++filler) {
    std::string base = answer;
    if (filler) {
      // Some lengths cannot be reached with one padding field (its length
      // prefix grows a byte at 128, 16384, ...); a two-byte field first helps.
      append_varint(base, kResponseFiller << 3);
      append_varint(base, 0);
    }
    if (target < base.size() + 2) break;
    const unsigned long long room = target - base.size() - 1;  // after the padding field's key
    for (std::size_t prefix = 1; prefix <= 10 && prefix <= room; ++prefix) {
      const unsigned long long padding = room - prefix;
      if (varint_size(padding) != prefix) continue;
      append_length_delimited(base, kResponsePadding, std::string(padding, '\0'));
      return base;
    }
  }
  return fail("answer-size:" + std::to_string(target) + " leaves no room for the answer's " +
              std::to_string(answer.size()) + " bytes");
}

}  // namespace

Result<Behaviour, std::string> behaviour_of(const wire::AdjudicatesRequest& request) {
  if (request.events().empty()) return Behaviour{};
  const std::string& trajectory_id = request.events(0).trajectory_id();
  if (!std::string_view(trajectory_id).starts_with(kPrefix)) return Behaviour{};
  return parse_behaviour(std::string_view(trajectory_id).substr(kPrefix.size()), trajectory_id);
}

Result<std::string, std::string> answer_bytes(const wire::AdjudicatesRequest& request, const Behaviour& behaviour,
                                              const std::string& metadata_report) {
  if (behaviour.kind == Kind::BadProtobuf) {
    // Field 1 (events) with the varint wire type instead of a message.
    return std::string("\x08\x01", 2);
  }
  const int count = request.events_size();
  if (behaviour.kind == Kind::DenyAt && behaviour.number >= count) {
    return fail("deny-at:" + std::to_string(behaviour.number) + " names no event of the " + std::to_string(count) +
                " in the request");
  }
  long long answers = count;
  if (behaviour.kind == Kind::WrongCount) answers = std::max(0LL, count + behaviour.number);

  std::string out;
  for (long long i = 0; i < answers; ++i) {
    wire::Event extra;
    if (i >= count) extra.set_event_id("extra-" + std::to_string(i - count));
    const wire::Event& event = i < count ? request.events(static_cast<int>(i)) : extra;

    PeerObject payload = default_payload(event);
    if (behaviour.kind == Kind::Echo) set_reason(payload, echo_json(event));
    if (behaviour.kind == Kind::Metadata) set_reason(payload, metadata_report);
    if (i >= count) set_reason(payload, "an answer beyond the request's events");
    if (i == 0 && behaviour.kind == Kind::BadPayload) {
      payload = {{"mode", "monitor"}, {"reason", "this answer has no decision"}};
    }
    if (behaviour.kind == Kind::DenyAt && i == behaviour.number) {
      payload = {{"decision", "Deny"}, {"mode", "govern"}, {"reason", "denied by behave:deny-at"}};
    }
    // Every other answer lists its keys backwards: clients must not rely on
    // the service sending them sorted.
    if (i % 2 == 1) payload = std::get<PeerObject>(reversed_keys(std::move(payload)).kind);
    const bool without_payload = i == 0 && behaviour.kind == Kind::MissingPayload;
    append_length_delimited(out, kResponseEvents, answer_event(event, without_payload ? nullptr : &payload));
  }
  if (behaviour.kind == Kind::AnswerSize) return pad_to(std::move(out), static_cast<unsigned long long>(behaviour.number));
  return out;
}

}  // namespace revizer::peers
