#include "src/odbc/lmoodbc3.h"

#include <cwctype>

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"

namespace {

constexpr uint32_t U = kQvAttrUnsupported;
constexpr uint32_t D = kQvAttrDescriptor;
constexpr uint32_t I = kQvAttrIgnored;
constexpr uint16_t N = kQvFieldUnsupported;

template <class Pair>
uint32_t find(const Pair* table, int64_t key) {
  for (const Pair* p = table; !(p->attribute == 65535 && p->option == 65535); ++p)
    if (p->attribute == key) return p->option;
  return kQvAttrUnsupported;
}

}  // namespace

const QvAttrPair QvMapConnAttr[] = {
    {101, 101}, {115, U},   {4, 4},     {10001, U}, {102, 102}, {1209, 1209}, {113, U},   {109, 109},
    {114, U},   {1208, U},  {103, 103}, {1, 1},     {10014, U}, {110, 110},   {112, 112}, {0, 0},
    {111, 111}, {104, 104}, {105, 105}, {106, 106}, {107, 107}, {108, 108},   {1061, 1061}, {65535, 65535},
};

const QvAttrPair QvMapStmtAttr[] = {
    {10011, D}, {10010, D}, {4, 4},   {7, 7},   {-1, U},  {-2, U},  {6, 6},       {15, U},      {16, U},
    {10013, D}, {10012, D}, {8, 8},   {3, 3},   {1, 1},   {10014, U}, {2, 2},     {17, U},      {18, U},
    {19, U},    {20, U},    {21, I},  {22, 22}, {0, 0},   {11, 11}, {27, 9},      {23, U},      {5, 5},
    {14, 14},   {24, U},    {25, U},  {26, 26}, {10, 10}, {12, 12}, {1001, 1001}, {9, 9},       {65535, 65535},
};

const QvFieldPair QvMapColAttrField[] = {
    {11, 11},     {22, 2202}, {23, N},  {12, 12},   {17, 17},     {2, 2},     {1001, 0},  {6, 6},  {9, 9},
    {18, 18},     {1003, 3},  {27, N},  {28, N},    {29, N},      {1011, 1},  {1008, 7},  {32, N}, {1013, 1013},
    {1005, 4},    {1006, 5},  {16, 16}, {13, 13},   {15, 15},     {1002, 2},  {14, 14},   {1012, N}, {8, 8},
    {10, 10},     {3, 3},     {4, 4},   {5, 5},     {65535, 65535},
};

const QvSqlStatePair QvMapSqlStateData[kQvSqlStatePairs + 1] = {
    {L"01S03", L"01001"}, {L"01S04", L"01001"}, {L"22003", L"HY019"}, {L"22008", L"22007"}, {L"22005", L"22018"},
    {L"24000", L"07005"}, {L"37000", L"42000"}, {L"70100", L"HY018"}, {L"S0001", L"42S01"}, {L"S0002", L"42S02"},
    {L"S0011", L"42S11"}, {L"S0012", L"42S12"}, {L"S0021", L"42S21"}, {L"S0022", L"42S22"}, {L"S0023", L"42S23"},
    {L"S1000", L"HY000"}, {L"S1001", L"HY001"}, {L"S1003", L"HY003"}, {L"S1004", L"HY004"}, {L"S1008", L"HY008"},
    {L"S1009", L"HY009"}, {L"S1011", L"HY011"}, {L"S1012", L"HY012"}, {L"S1090", L"HY090"}, {L"S1091", L"HY091"},
    {L"S1092", L"HY092"}, {L"S1093", L"HY093"}, {L"S1096", L"HY096"}, {L"S1097", L"HY097"}, {L"S1098", L"HY098"},
    {L"S1099", L"HY099"}, {L"S1100", L"HY100"}, {L"S1101", L"HY101"}, {L"S1103", L"HY103"}, {L"S1104", L"HY104"},
    {L"S1105", L"HY105"}, {L"S1106", L"HY106"}, {L"S1107", L"HY107"}, {L"S1108", L"HY108"}, {L"S1109", L"HY109"},
    {L"S1110", L"HY110"}, {L"S1111", L"HY111"}, {L"S1C00", L"HYC00"}, {L"S1T00", L"HYT00"}, {nullptr, nullptr},
};

QvDummyDesc lDummyARD{1}, lDummyAPD{2}, lDummyIRD{3}, lDummyIPD{4};

uint32_t qvConnOption(int32_t attribute) { return find(QvMapConnAttr, attribute); }

uint32_t qvStmtOption(int32_t attribute) { return find(QvMapStmtAttr, attribute); }

uint16_t qvColAttributeOfField(uint16_t field) {
  for (const QvFieldPair* p = QvMapColAttrField; !(p->field == 65535 && p->attribute == 65535); ++p)
    if (p->field == field) return p->attribute;
  return kQvFieldUnsupported;
}

void QvMapSqlState(LmoEnv* env, wchar_t* sqlState) {
  LmoEnv* e = lmoLiveEnv(env);
  if (e == nullptr || e->odbcVersion != 3 || sqlState == nullptr) return;
  for (const QvSqlStatePair* p = QvMapSqlStateData; p->odbc2 != nullptr; ++p) {
    int32_t i = 0;
    while (i < 5 && sqlState[i] != L'\0' && std::towupper(static_cast<wint_t>(sqlState[i])) == static_cast<wint_t>(p->odbc2[i]))
      ++i;
    if (i < 5) continue;
    for (int32_t k = 0; k < 5; ++k) sqlState[k] = p->odbc3[k];
    sqlState[5] = L'\0';
    return;
  }
}
