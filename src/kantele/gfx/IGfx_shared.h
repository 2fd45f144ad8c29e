#pragma once

// The process-wide caches every graphics context shares (private to the graphics library).

#include <new>

#include "kantele/gfx/IBitmap.h"
#include "kantele/gfx/KeyedCache.h"
#include "kantele/gfx/PathTypes.h"

namespace kantele {
namespace gfx {

/// Bitmaps and parsed SVG documents shared by all graphics contexts, each cache under its own
/// lock, with the number of living contexts; the last context to go empties both. The count
/// is guarded by the bitmap cache's lock.
struct SharedCaches {
  KeyedCache<APIBitmap> mBitmaps;
  KeyedCache<SVGDocument> mSVGs;
  int mUsers = 0;

  /// The process's caches, in static storage that is never destroyed, so a context destroyed
  /// during static destruction (a host unloading late) still finds them, and nothing stays on
  /// the heap once the last context has emptied them.
  static SharedCaches& Get() {
    alignas(SharedCaches) static unsigned char sStorage[sizeof(SharedCaches)];
    static SharedCaches* sCaches = new (sStorage) SharedCaches();
    return *sCaches;
  }
};

}  // namespace gfx
}  // namespace kantele
