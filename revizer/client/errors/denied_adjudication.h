#pragma once

// The Adjudicated record of the first denied event, as the
// DeniedWhileChunkFailed kinds of the client errors carry it: boxed, moved
// unchanged from a client error to the adjudication error derived from it,
// released with the error. Only the adjudication code, which knows the
// record, puts one in the box; the errors merely hold it, so a declaration
// is all they need (the box frees the record through the deleter it got
// when it was filled).

#include <memory>

namespace revizer::result {
struct Adjudicated;
}

namespace revizer::client {

using DeniedAdjudication = std::shared_ptr<const result::Adjudicated>;

}  // namespace revizer::client
