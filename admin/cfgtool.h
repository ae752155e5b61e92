// cfgtool: the administrator's console program for the database-resource
// file qvdrd.ini and the trace levels of the main configuration file.
//
// It reads standard input line by line and writes to standard output; it
// shares no state with the driver and links only the ini reader and writer
// and the string helpers of the runtime base.
#pragma once

#include <cstddef>
#include <string>

// The main configuration file in use.
extern std::string gszMirodelINI;

// Error texts, each taking the file name as its one argument.
enum CfgToolError {
  kErrResourceFileNotFound = 0,
  kErrResourceFilePrivilege = 1,
  kErrConfigNotFound = 2,
  kErrConfigPrivilege = 3,
  kErrResourceFileWrite = 4,
  kErrConfigWrite = 5,
};
const char* GetErrorMsg(int n);
void printError(int n, const std::string& path);

const char* getVersionString();
const char* getBuildDateString();

// Whole program: the start, the configuration search and the main menu.
int cfgtoolMain(int argc, char** argv);

// Finds the main configuration file: the first of ./mirodel.ini,
// $MIRODEL_INI, $HOME/mirodel.ini and /tmp/mirodel.ini (the last only when
// it is owned by us or root and only we may write it) that can be read, else
// the bare name mirodel.ini. `path` gets the file tried last; 1 when that
// file holds a non-empty [Common] qv_root, else 0.
int rdaCheckForMirodelConfig(std::string& path);

// True when `path` names a regular file that can be opened for reading (a
// pipe or a device could block or never end).
bool isReadableFile(const std::string& path);

// 1 when the file does not exist or can be opened for reading and writing;
// 0 when it exists but cannot be opened so.
int CheckForFilePermission(const std::string& path);

// ---- console ----------------------------------------------------------------

// Size of the input line buffer; a longer line is cut to size - 1 bytes and
// the rest of it is dropped.
inline constexpr size_t kInputLineSize = 1024;

// Flushes standard output, then reads one line of standard input into
// `line` without its line feed. False at the end of the input.
bool readInputLine(std::string& line);

// Removes leading and trailing blanks and tabs in place.
void removePadding(std::string& text);

// The first character that is not a blank or a tab; '\0' for none.
char firstNonBlank(const std::string& text);
