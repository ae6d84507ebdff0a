#pragma once

// RevizerClient: the Python face of a connected RevizerGrpcClient. Its one
// field is a shared reference to the client; every call in flight holds
// another, so releasing the object never cuts a call off.

#include <memory>

#include "python/src/binding/binding.h"
#include "revizer/client/revizer_grpc_client.h"

namespace revizer::python {

struct RevizerClientClass {
  using Record = std::shared_ptr<const client::RevizerGrpcClient>;
  static constexpr bool kBorrowFlag = true;
  static const ClassDef& def();
};

}  // namespace revizer::python
