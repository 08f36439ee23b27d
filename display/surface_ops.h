// Lock, unlock and clear of a work surface.
#pragma once

#include <cstdint>

#include "display/work_surface.h"

namespace lumenfall {

// The address of pixel (0, 0), or null when there is no surface or the lock failed.
// A failure other than "still drawing" is traced under "ddLockSurface".
uint8_t* LockSurface(WorkSurface* surface);

// 1 on success; 0 on failure (traced under "ddUnlockSurface") or without a surface.
int UnlockSurface(WorkSurface* surface);

// Sets every pixel to zero bytes, row by row; bytes past each row's pixels are not
// touched. 1, or 0 without a surface.
int ClearSurface(WorkSurface* surface);

}  // namespace lumenfall
