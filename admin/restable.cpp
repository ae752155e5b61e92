#include "admin/restable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "admin/cfgtool.h"
#include "admin/drdfile.h"
#include "src/runtime/inifile.h"

const std::array<ResourceField, kResourceFieldCount> gResourceFields = {{
    {"DATABASE", "", false},
    {"ADDRESS", "", false},
    {"PORT", "1706", false},
    {"CONNECT_STRING", "", true},
    {"TYPE", "", true},
    {"SCHEMA_PATH", "", true},
    {"REMARKS", "", true},
}};

namespace {

constexpr size_t kDatabase = 0;
// Values are read into buffers of this size.
constexpr int32_t kValueSize = 1024;
// Longest line the ini reader takes whole.
constexpr size_t kMaxLine = 1023;

int fieldWidth() {
  size_t width = 0;
  for (const ResourceField& f : gResourceFields) width = std::max(width, std::strlen(f.name));
  return static_cast<int>(width);
}

void printField(const ResourceField& f, const std::optional<std::string>& value) {
  std::printf("%*s", fieldWidth(), f.name);
  if (value) {
    std::printf(": [%s]\n", value->c_str());
  } else {
    std::printf(": NULL");
  }
}

// The value of `column` in row n.
const std::optional<std::string>& FindRowValue(const ResourceTable& table, size_t n, size_t column) {
  return table.rows[n][column];
}

void printRow(const ResourceTable& table, size_t n) {
  for (size_t i = 0; i < kResourceFieldCount; ++i) printField(gResourceFields[i], FindRowValue(table, n, i));
}

void addDefaultToResult(ResourceRow& row, size_t column) { row[column] = gResourceFields[column].defaultValue; }

// A new row holding the defaults.
ResourceRow createRecord() {
  ResourceRow row;
  for (size_t i = 0; i < kResourceFieldCount; ++i) addDefaultToResult(row, i);
  return row;
}

// Why a typed value cannot be stored in `column` (an empty or blank entry
// where NULL is not allowed, or a value the file would read back
// differently), or nullptr when it can.
const char* CheckFieldValue(size_t column, const std::string& value, bool toNull) {
  if (toNull || value.empty()) return gResourceFields[column].nullable ? nullptr : "ERROR: Field %s can't be NULL.\n";
  if (value.find_first_of("\r\n") != std::string::npos) return "ERROR: Field %s can't hold a line break.\n";
  if (column == kDatabase) {
    if (value.find_first_of("[]") != std::string::npos) return "ERROR: Field %s can't hold \"[\" or \"]\".\n";
    if (value.size() > static_cast<size_t>(iIniMaxSectionLen)) return "ERROR: Field %s is too long.\n";
  } else if (std::strlen(gResourceFields[column].name) + 1 + value.size() > kMaxLine) {
    return "ERROR: Field %s is too long.\n";
  }
  return nullptr;
}

// A single blank makes the value NULL; an empty line keeps it; any other
// text replaces it.
void UpdateFieldValue(std::optional<std::string>& value, const std::string& line, bool toNull) {
  if (toNull) value.reset();
  else if (!line.empty()) value = line;
}

// Shows one field and asks for its value until one that the column takes
// is typed. False when the input ends first.
bool CheckAndEditFieldValue(size_t column, std::optional<std::string>& value) {
  const ResourceField& f = gResourceFields[column];
  printField(f, value);
  for (;;) {
    std::printf("%*s> ", fieldWidth(), "");
    std::string line;
    if (!readInputLine(line)) return false;
    if (line.empty() && value && !value->empty()) return true;
    const bool toNull = line == " ";
    // A name is what the loader will find between the brackets.
    if (column == kDatabase && !toNull) removePadding(line);
    if (const char* why = CheckFieldValue(column, line, toNull)) {
      std::printf(why, f.name);
      continue;
    }
    UpdateFieldValue(value, line, toNull);
    return true;
  }
}

// Edits the row field by field. False when the input ends first (the row is
// then left as it was).
bool editRow(ResourceRow& row) {
  ResourceRow edited = row;
  for (size_t i = 0; i < kResourceFieldCount; ++i)
    if (!CheckAndEditFieldValue(i, edited[i])) return false;
  row = edited;
  return true;
}

std::vector<DrdKeyValue> rowKeys(const ResourceRow& row) {
  std::vector<DrdKeyValue> keys;
  for (size_t i = kDatabase + 1; i < kResourceFieldCount; ++i)
    keys.push_back({gResourceFields[i].name, row[i].value_or("")});
  return keys;
}

std::vector<const char*> keyNames() {
  std::vector<const char*> names;
  for (size_t i = kDatabase + 1; i < kResourceFieldCount; ++i) names.push_back(gResourceFields[i].name);
  return names;
}

// Writes the row's keys into its section; `oldSection` is the section it
// was loaded from, if any.
bool writeRecord(const ResourceTable& table, const ResourceRow& row, const std::string* oldSection) {
  return drdWriteSection(table.path, oldSection, *row[kDatabase], rowKeys(row));
}

// Edits row n in place and writes it; the row is unchanged when the input
// ends or the file cannot be written. False when the input ended.
bool editRecord(ResourceTable& table, size_t n) {
  ResourceRow row = table.rows[n];
  if (!editRow(row)) return false;
  if (writeRecord(table, row, &table.sections[n])) {
    table.rows[n] = row;
    table.sections[n] = *row[kDatabase];
  } else {
    printError(kErrResourceFileWrite, table.path);
  }
  return true;
}

void deleteRecordFromMemory(ResourceTable& table, size_t n) {
  table.rows.erase(table.rows.begin() + static_cast<std::ptrdiff_t>(n));
  table.sections.erase(table.sections.begin() + static_cast<std::ptrdiff_t>(n));
}

void deleteRecord(ResourceTable& table, size_t n) {
  if (!drdRemoveKeys(table.path, table.sections[n], keyNames())) {
    printError(kErrResourceFileWrite, table.path);
    return;
  }
  deleteRecordFromMemory(table, n);
}

enum class BrowseAnswer { Next, Edit, Delete, Quit };

// Asks what to do with the row shown. A read-only browse accepts only next
// and quit. The end of the input quits.
BrowseAnswer askBrowse(bool readOnly) {
  std::printf(readOnly ? "\n(N)ext, (Q)uit [N]: " : "\n(N)ext, (E)dit, (D)elete, (Q)uit [N]: ");
  for (;;) {
    std::string line;
    if (!readInputLine(line)) return BrowseAnswer::Quit;
    const char c = firstNonBlank(line);
    if (c == 'q' || c == 'Q') return BrowseAnswer::Quit;
    if (!readOnly) {
      if (c == 'e' || c == 'E') return BrowseAnswer::Edit;
      if (c == 'd' || c == 'D') return BrowseAnswer::Delete;
      return BrowseAnswer::Next;
    }
    if (c == 'n' || c == 'N') return BrowseAnswer::Next;
    std::printf("\nNot a valid option!\n(N)ext, (Q)uit [N]: ");
  }
}

}  // namespace

int32_t initResourceTable(ResourceTable& table) {
  cleanTable(table);
  char schema[kValueSize];
  GetPrivateProfileString("Common", "SchemaPath", "", schema, sizeof schema, gszMirodelINI.c_str());
  const std::string path = std::string(schema) + "/" + "qvdrd.ini";
  if (!isReadableFile(path)) {
    printError(kErrResourceFileNotFound, path);
    return -1;
  }
  table.path = path;
  return 1;
}

void cleanTable(ResourceTable& table) { table = ResourceTable(); }

bool readContentList(const std::string& path, std::vector<std::string>& names) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '[') continue;
    const size_t close = line.find(']', start + 1);
    if (close == std::string::npos) continue;
    std::string name = line.substr(start + 1, close - start - 1);
    removePadding(name);
    names.push_back(name);
  }
  return !in.bad();
}

void readRecord(ResourceTable& table, const std::string& name) {
  ResourceRow row;
  row[kDatabase] = name;
  for (size_t i = kDatabase + 1; i < kResourceFieldCount; ++i) {
    char value[kValueSize];
    GetPrivateProfileString(name.c_str(), gResourceFields[i].name, "", value, sizeof value, table.path.c_str());
    row[i] = value;
  }
  table.rows.push_back(row);
  table.sections.push_back(name);
}

int32_t readTable(ResourceTable& table) {
  std::vector<std::string> names;
  if (!readContentList(table.path, names)) {
    std::printf("Unable to open %s \n", table.path.c_str());
    std::exit(1);
  }
  if (names.empty()) return -1;
  for (const std::string& name : names) readRecord(table, name);
  return static_cast<int32_t>(table.rows.size());
}

void insertRecord(ResourceTable& table) {
  if (CheckForFilePermission(table.path) == 0) {
    printError(kErrResourceFilePrivilege, table.path);
    return;
  }
  ResourceRow row = createRecord();
  for (;;) {
    if (!editRow(row)) return;
    if (writeRecord(table, row, nullptr)) {
      std::puts("\nRecord successfully added.");
      return;
    }
    printError(kErrResourceFileWrite, table.path);
    std::printf("\n(R)etry, (A)bort [R]: ");
    std::string line;
    if (!readInputLine(line)) return;
    const char c = firstNonBlank(line);
    if (c == 'a' || c == 'A') return;
  }
}

void viewTable(ResourceTable& table) {
  bool readOnly = false;
  if (CheckForFilePermission(table.path) == 0) {
    printError(kErrResourceFilePrivilege, table.path);
    readOnly = true;
  }
  if (readTable(table) <= 0) return;
  size_t n = 0;
  while (n < table.rows.size()) {
    std::printf("Row %zu of %zu\n\n", n + 1, table.rows.size());
    printRow(table, n);
    switch (askBrowse(readOnly)) {
      case BrowseAnswer::Next:
        ++n;
        break;
      case BrowseAnswer::Edit:
        if (!editRecord(table, n)) return;
        break;
      case BrowseAnswer::Delete:
        deleteRecord(table, n);
        break;
      case BrowseAnswer::Quit:
        return;
    }
  }
}
