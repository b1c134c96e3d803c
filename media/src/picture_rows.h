// Row operations of the decode workers' finishing pass: the line
// interpolation of two-field pictures and the bottom-up turn of RGB
// pictures. Internal to the media library (and its tests).
#pragma once

#include <cstddef>
#include <cstdint>

namespace orva {

// out[x] = (a[x] + b[x]) / 2 rounded down, for n bytes. `out` may be one of
// the inputs.
void AverageRow(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n);

// Fills a top-down plane's second-field lines in place: each odd line that
// has a line below it becomes the average of the (first-field) lines above
// and below; the last odd line is kept.
void FillSecondField(uint8_t* plane, size_t stride, int lines);

// The same for the three planes of a two-field YV12 picture of w x h: the
// luma plane, and the chroma planes when h is at least 6.
void FillSecondFieldYv12(uint8_t* picture, int width, int height);

// Copies from `field`, a YV12 picture holding a second field's lines, the
// second-field lines that FillSecondFieldYv12 keeps (each plane's last odd
// line; every odd chroma line below 6 lines) into `picture`.
void CopyKeptSecondFieldLines(const uint8_t* field, uint8_t* picture, int width, int height);

// Writes the top-down picture `src` into `dst` bottom-up (row r to row
// lines - 1 - r); with `fill`, the second field's lines, counted on the
// top-down picture, are interpolated in the same pass. src and dst must not
// overlap.
void BottomUpRows(const uint8_t* src, uint8_t* dst, size_t stride, int lines, bool fill);

}  // namespace orva
