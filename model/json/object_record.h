#pragma once

// A record read from an object only: the struct variants of a union, whose
// content has no array form. An array is refused like any other kind
// ("invalid type: sequence, expected struct variant Scanned::Message");
// everything else is the record's own description (record.h).
//
//   inline constexpr json::ObjectRecord kMessage{"struct variant Scanned::Message",
//       field<Always, Required>("source_event_id", &Message::source_event_id), ...};

#include "model/json/record.h"

namespace revizer::json {

template <class R, class... Fs>
class ObjectRecord : public Record<R, Fs...> {
 public:
  consteval ObjectRecord(std::string_view expecting, Fs... fields) : Record<R, Fs...>(expecting, fields...) {}

  Result<R, CodecError> decode(Value&& in, Mode mode) const {
    if (!in.is_object()) return fail(errors::invalid_type(in, this->expecting()));
    return Record<R, Fs...>::decode(std::move(in), mode);
  }
};

template <class F, class... Fs>
ObjectRecord(std::string_view, F, Fs...) -> ObjectRecord<typename F::Record, F, Fs...>;

template <class R, class... Fs>
inline constexpr bool kIsRecordDescription<ObjectRecord<R, Fs...>> = true;

}  // namespace revizer::json
