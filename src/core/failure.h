// Every procedure catches its own run-time errors: it logs one error-log entry with its
// own name as the source and returns the value its result held. Guarded runs a body that
// way; the result variable lives outside the body.
#pragma once

#include <exception>
#include <string_view>

#include "core/context.h"

namespace velkaris {

// Runs body(); an exception escaping it is logged with `source` and swallowed. Returns
// false when the body failed.
template <class Body>
bool Guarded(Context& ctx, std::string_view source, Body&& body,
             std::string_view kind = kErroreNonPrevisto) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    ctx.logs.ScriviLogErrore(source, e.what(), kind);
    return false;
  }
}

}  // namespace velkaris
