// The bytes of a message file qverror.bin, for the tests of its readers.
#pragma once

#include <string>
#include <vector>

// One message record.
struct Record {
  std::string key;
  std::string message;
  int keyLength = -1;      // -1: the key's own length
  int messageLength = -1;  // -1: the message's own length
};

// A number as ASCII decimal of a fixed width, zero-padded.
std::string field(long value, int width);
// Records one after another.
std::string records(const std::vector<Record>& rs);

// A file with the given sections, each {name, count, records}; the records
// follow the section table in order.
struct Section {
  std::string name;
  long count;
  std::vector<Record> rows;
};
std::string messageFile(const std::vector<Section>& sections);

// `n` records: keys of five digits, messages `prefix` and the row number.
std::vector<Record> rows(int n, const char* prefix = "R");
