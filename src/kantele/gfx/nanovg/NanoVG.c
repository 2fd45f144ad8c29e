/* NanoVG's core, its font stash and the image decoder, in one translation unit.
 *
 * This NanoVG names an enumeration in its prototypes that its C sources use without the
 * `enum` keyword; the typedef lets them compile as C. stb_image and stb_truetype come from
 * the include path (libstb-dev) and stay internal to this unit. */
#include "nanovg.h"

typedef enum NVGtexture NVGtexture;

#include "nanovg.c"
