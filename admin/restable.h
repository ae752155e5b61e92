// The database-resource table: the entries of qvdrd.ini (one section per
// database resource) loaded for browsing, and the menus that add, edit and
// delete them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One column of the table: DATABASE is the section name, every other column
// a key of the section.
struct ResourceField {
  const char* name;
  const char* defaultValue;
  bool nullable;
};

inline constexpr size_t kResourceFieldCount = 7;
extern const std::array<ResourceField, kResourceFieldCount> gResourceFields;

// A row's values by column; no value is NULL (written as an empty value).
using ResourceRow = std::array<std::optional<std::string>, kResourceFieldCount>;

struct ResourceTable {
  std::string path;
  std::vector<ResourceRow> rows;
  // The section each row was loaded from (empty for a new row).
  std::vector<std::string> sections;
};

// Path = [Common] SchemaPath + "/qvdrd.ini". 1 when that file can be read;
// else error 0 is printed and the result is -1.
int32_t initResourceTable(ResourceTable& table);
void cleanTable(ResourceTable& table);

// Collects the section names of the file in file order: every line whose
// first character after blanks and tabs is '[' with a ']' later on it
// names the text between them, blanks and tabs removed. False when the file
// cannot be read.
bool readContentList(const std::string& path, std::vector<std::string>& names);

// Appends the row of section `name`: the name, and each other column read
// from the section.
void readRecord(ResourceTable& table, const std::string& name);
// Loads one row per section (readRecord); -1 when there are none, else the
// row count.
int32_t readTable(ResourceTable& table);

// Menu item 1: edits a new row holding the defaults and adds it to the file.
void insertRecord(ResourceTable& table);

// Menu item 2: browses the rows, editing or deleting them on request.
void viewTable(ResourceTable& table);
