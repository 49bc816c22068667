#pragma once
// The counted pause that every bounded wait of the program is made of.

namespace rk {

void sleepFor(unsigned long milliseconds);

} // namespace rk
