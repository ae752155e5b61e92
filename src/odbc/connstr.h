// Connection-string helpers of the ODBC layer.
#pragma once

// Cut trailing blanks in place; return the first character that is not a
// blank. NULL for NULL.
wchar_t* lmo_blank_strip(wchar_t* text);
char* lmo_blank_stripA(char* text);
