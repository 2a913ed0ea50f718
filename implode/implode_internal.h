// Pieces of the library that its own files share.
#pragma once

#include "implode/implode.h"

namespace implode::detail {

// Compresses with the shortest parse; memory of its own.
void implodeBest(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, void* param,
                 const ImplodeSettings& settings);

} // namespace implode::detail
