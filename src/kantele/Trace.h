#pragma once

namespace kantele {

/// The framework's trace point: called with the function's qualified name, a
/// line number and a printf-style message at the entry of many operations.
/// The sink discards everything, so a trace has no observable effect; the
/// format arguments are still type-checked.
///
/// [any-thread] Never allocates, never locks.
inline void Trace(const char* /*function*/, int /*line*/, const char* /*fmt*/, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

inline void Trace(const char*, int, const char*, ...) {}

}  // namespace kantele
