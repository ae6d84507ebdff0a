#pragma once

// Operating-system I/O failures, under the names the configuration code uses.

#include "platform/io_error.h"

namespace revizer::common {

using platform::IoError;
using platform::quote_debug;

}  // namespace revizer::common
