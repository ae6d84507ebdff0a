#pragma once

// An asio error as an I/O error value: system errors keep their number and
// the "(os error N)" text, others (asio's own categories, OpenSSL) their message.

#include <asio/error_code.hpp>

#include "common/error/io_error.h"

namespace revizer::common {

inline IoError io_error_from(const asio::error_code& ec) {
  if (ec.category() == asio::system_category()) return IoError::from_errno(ec.value());
  return IoError::custom(ec.message());
}

}  // namespace revizer::common
