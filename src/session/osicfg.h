// The OSI configuration file: one line per named object (a transport
// provider) with key and value pairs, read afresh on every lookup. The file
// is the one named by the environment variable OSID, else osid.cfg in the
// current directory; it is optional.
#pragma once

#include <cstdint>

inline constexpr uint32_t kOsiCfgValueSize = 80;  // values keep 79 characters
inline constexpr uint32_t kOsiCfgPiece = 1024;    // lines are read in pieces of 1023
inline constexpr const char* kDefaultDeviceName = "duvik-1";

// The value of `key` on the first line of object `name` that holds it: a new
// string of kOsiCfgValueSize octets (possibly empty) that the caller frees
// with free(); NULL when the file cannot be opened, nothing matches or no
// memory is left.
char* get_osi_cfg_value(const char* name, const char* key);

// Helpers: white space is blank, tab and newline; a delimiter is white space
// or the end of the text.
const char* skip_white_space(const char* text);
const char* scan_until_white_space(const char* text);
int32_t delimiter(char c);
// Copies the token at `src` into `dest` (of `size` octets, always ended with
// a NUL and cut to fit); an absent source or one that begins with "#" gives
// the empty string.
void copystring(char* dest, uint32_t size, const char* src);
