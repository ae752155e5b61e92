// Ini-file reader and writer: the one reader and writer of the system's
// configuration files (sections in square brackets, key=value lines).
//
// Every call opens the file, scans it from the top and closes it again;
// nothing is cached. Lines end at a line feed only (a carriage return stays
// part of the line) and are taken in pieces of at most 1023 bytes. A blank is
// the space character only. Sections and keys are matched case-insensitively
// with plib_stricmp; the first matching section and key win.
//
// Linked into both the driver and cfgtool: depends on common/qvstring only.
#pragma once

#include <cstdint>
#include <string>

// Longest section name and key the readers and the writer accept; a longer
// one is treated as not found.
inline constexpr int32_t iIniMaxSectionLen = 509;
inline constexpr int32_t iIniMaxKeyLen = 511;

// Reads one line from `fd`, one byte per read, into `buffer`: stops after a
// line feed (kept), at end of file or after size - 1 bytes, and always
// terminates. Returns the number of bytes stored; 0 at end of file. A read
// error ends the line as end of file would.
int qv_gets(char* buffer, int size, int fd);

// 1 when the line, after any leading blanks, is empty or begins with ';'.
int IsCommentLine(const char* line);

// 1 when the first non-blank character is '[' and a ']' follows on the line.
int IsNewSection(const char* line);

// Overwrites the trailing blanks of `text` with terminators and returns a
// pointer to its first non-blank character.
char* BlankStrip(char* text);

// With a key: copies the blank-stripped value of [section] key, or `def`
// when there is none, into `buffer`. With a null key: lists the non-comment
// lines of the section, each followed by a terminator, the list ended by a
// second one (an unreadable file copies `def`, a missing section gives an
// empty list and 1).
//
// At most size - 1 bytes are copied and the text is always terminated. The
// result is the length of the copied text, or `size` when the text had to be
// cut (or the listing filled the buffer). Nothing is written when size <= 0.
int32_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buffer,
                                int32_t size, const char* path);

// The value of [section] key as a decimal number (strtol rules, truncated to
// 32 bits). The key text of the line is compared as written, without
// stripping blanks. A missing file, section or key, or an empty value, gives
// `def`.
int32_t GetPrivateProfileInt(const char* section, const char* key, int32_t def, const char* path);

// Sets [section] key=value: replaces the first line of the key in the
// section in place (its key matched as GetPrivateProfileString matches it,
// blanks around it left out), or adds the key at the end of the section
// (after its trailing comments, before the next header), or adds the section
// and the key at the end of the file, creating the file when it is missing.
//
// The new text goes to a temporary file in the same directory that is then
// renamed over the file (its mode kept), so the file is either replaced whole
// or left as it was. Returns 1 on success, 0 on failure.
int32_t WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path);

// Replaces the file at `path` with `text`, or creates it: a symbolic link at
// `path` is followed (the file it leads to is replaced and the link stays).
// The text goes to a temporary file in the same directory that is then
// renamed over the file, so the file is either replaced whole or left as it
// was; an existing file's mode (and owner, where we may give it) is kept, a
// new file gets mode 0666 less the umask. Returns 1 on success, 0 on failure
// (also for a link that leads nowhere).
int32_t qv_replaceFile(const char* path, const std::string& text);
