#include "support/message_file.h"

#include <cstdio>

std::string field(long value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*ld", width, value);
  return text;
}

std::string records(const std::vector<Record>& rs) {
  std::string out;
  for (const Record& r : rs) {
    out += static_cast<char>(r.keyLength >= 0 ? r.keyLength : static_cast<int>(r.key.size()));
    out += r.key;
    out += field(r.messageLength >= 0 ? r.messageLength : static_cast<long>(r.message.size()), 5);
    out += r.message;
  }
  return out;
}

std::string messageFile(const std::vector<Section>& sections) {
  std::string head = "Q";
  head += static_cast<char>(sections.size());
  long offset = 2 + 21 * static_cast<long>(sections.size());
  std::string body;
  for (const Section& s : sections) {
    std::string name = s.name;
    name.resize(6, '\0');
    head += name + field(s.count, 5) + field(offset, 10);
    const std::string r = records(s.rows);
    body += r;
    offset += static_cast<long>(r.size());
  }
  return head + body;
}

std::vector<Record> rows(int n, const char* prefix) {
  std::vector<Record> rs;
  for (int i = 0; i < n; ++i) rs.push_back({field(i, 5), std::string(prefix) + std::to_string(i)});
  return rs;
}
