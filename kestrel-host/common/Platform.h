// What the platform kestrel-host is built for can do, where rooms that never
// include each other must agree on it.
#pragma once

// Whether displays are drawn in pixels, so that a snapshot can be a BMP
// file: on Windows each redraw paints a GDI memory bitmap; elsewhere the
// drawing calls are only recorded (pictures/DrawSurface.h).
#ifdef _WIN32
inline constexpr bool kDrawsPixels = true;
#else
inline constexpr bool kDrawsPixels = false;
#endif
