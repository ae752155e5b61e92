// In-place editing of one section of an ini file (the database-resource
// file): every line the edit does not concern stays as it was, comments,
// other keys and other sections included.
//
// Sections and keys are matched as the ini reader matches them (the first
// non-comment line equal to "[name]" without regard to case; the first key
// line whose blank-stripped key equals the key without regard to case), so
// an edit changes exactly what the reader answers. The new text goes to a
// temporary file in the same directory that is renamed over the file, its
// mode kept: the file is replaced whole or left as it was.
#pragma once

#include <string>
#include <vector>

struct DrdKeyValue {
  const char* key;
  std::string value;
};

// Writes `keys` into section [newName]: a key's first line in the section is
// replaced where it stands, a missing key is added after the section's last
// key line, and a missing section is added at the end of the file (a missing
// file is created).
//
// With `oldName` (the section the values were read from): when it names the
// same section without regard to case, its header is rewritten as
// [newName]; otherwise every line of `keys` is removed from [oldName] first,
// and its header too when no other key line is left in it.
//
// Section names must not hold '[', ']' or a line break, nor values a line
// break. True when the file was written.
bool drdWriteSection(const std::string& path, const std::string* oldName, const std::string& newName,
                     const std::vector<DrdKeyValue>& keys);

// Removes every line of `keys` from section [name], and the header when no
// other key line is left in it. True when the file was written (or holds no
// such section).
bool drdRemoveKeys(const std::string& path, const std::string& name, const std::vector<const char*>& keys);
