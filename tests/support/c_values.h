// A value in an application buffer, shown as text by its C type, for
// tests that compare converted values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Numbers in decimal (floats with 7, doubles with 15 significant digits),
// dates "Y-M-D", times "H:M:S", timestamps "Y-M-D H:M:S.F" (fields without
// leading zeros), 1-byte types (binary too) as an unsigned number, anything else as the
// text up to its NUL within `size` bytes.
std::string shownAs(int16_t cType, const void* buffer, size_t size);
