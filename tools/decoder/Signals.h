#pragma once

// l3dec's signals: a signal that ends the process takes the partial output away first, so a
// script never finds half a file.

namespace tw::decoder {

// Every signal whose default action ends the process; one ignored from the start (nohup, a
// background job) stays ignored.
void installStopHandlers();

// Whether a progress line is drawn in place and not ended yet: a stop is said on a line of its
// own after it.
void setLineOpen(bool open);

} // namespace tw::decoder
