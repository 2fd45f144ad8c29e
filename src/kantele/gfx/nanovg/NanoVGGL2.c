/* NanoVG's OpenGL 2 renderer and its framebuffer helpers, on the entry points glad loads.
 *
 * The framebuffer helpers are only compiled in when NANOVG_FBO_VALID is set; an OpenGL 2.1
 * context with framebuffer objects (core since 3.0, an extension on 2.1, and present on every
 * renderer this system runs on) has them, so it is set here. The helpers call the unsuffixed
 * framebuffer functions, which glad's aliasing fills from the ARB or EXT extension. */
#include <glad/gl.h>

#include "nanovg.h"

#define NANOVG_GL2_IMPLEMENTATION
#include "nanovg_gl.h"

#define NANOVG_FBO_VALID 1
#include "nanovg_gl_utils.h"
