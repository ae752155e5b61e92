// Conversion of a directory entry's texts into an AE identifier record, and
// the directory-file scanners.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "src/runtime/dif.h"
#include "src/runtime/ul_names.h"
#include "src/runtime/xm.h"

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipSpace(const char* p) {
  while (isSpace(*p)) ++p;
  return p;
}

bool isEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// A copy of `n` octets as an item of `tree` into `out`; false when the item
// cannot be had. No octets give no item.
bool dupOctets(XmTree* tree, const uint8_t* octets, int32_t n, OctStgV* out) {
  out->length = 0;
  out->octets = nullptr;
  if (n <= 0) return true;
  auto* item = static_cast<uint8_t*>(_xm_allocItem(tree, static_cast<uint32_t>(n), 0));
  if (item == nullptr) return false;
  std::memcpy(item, octets, static_cast<size_t>(n));
  out->length = static_cast<uint32_t>(n);
  out->octets = item;
  return true;
}

// A selector converted and stored; DIF_OK, DIF_BAD_VALUE or DIF_NO_MEMORY.
int32_t storeSelector(XmTree* tree, const char* text, OctStgV* out) {
  uint8_t bytes[kDifTextSize];
  const int32_t n = DIFcvt_val(text, bytes, sizeof bytes);
  if (n < 0) return DIF_BAD_VALUE;
  return dupOctets(tree, bytes, n, out) ? DIF_OK : DIF_NO_MEMORY;
}

// Every blank-separated entry of the address list has exactly three dots,
// and there is at least one.
bool addressListShaped(const char* list) {
  int32_t entries = 0;
  const char* p = list;
  for (;;) {
    while (*p == ' ') ++p;
    if (*p == '\0') break;
    int32_t dots = 0;
    for (; *p != '\0' && *p != ' '; ++p)
      if (*p == '.') ++dots;
    if (dots != 3) return false;
    ++entries;
  }
  return entries > 0;
}

// A decimal number of at most `max` at `p` (advanced past it); false when
// there is no digit or the value is larger.
bool readDecimal(const char** p, uint64_t max, uint64_t* value) {
  const char* s = *p;
  if (!isDigit(*s)) return false;
  uint64_t v = 0;
  for (; isDigit(*s); ++s) {
    v = v * 10 + static_cast<uint64_t>(*s - '0');
    if (v > max) return false;
  }
  *value = v;
  *p = s;
  return true;
}

// The leading decimal of `text`: false when it has none.
bool leadingNumber(const char* text, long* value) {
  if (text == nullptr) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text) return false;
  *value = errno == ERANGE ? LONG_MAX : v;
  return true;
}

// The next line of a directory file that is neither blank nor a comment,
// with its leading white space skipped; NULL at end of file.
const char* nextEntryLine(FILE* file, char* buffer) {
  while (std::fgets(buffer, kDifTextSize, file) != nullptr) {
    const char* p = skipSpace(buffer);
    if (*p != '\0' && *p != '#') return p;
  }
  return nullptr;
}

}  // namespace

void dif_init_local() {}

int32_t dif_fetch_local(XmTree* tree, const char* name, UL_AEId* record, const char* userConnectString) {
  if (isEmpty(name) || record == nullptr) return DIF_BAD_VALUE;
  record->mask = 0;
  char* pSel = nullptr;
  char* sSel = nullptr;
  char* netAddr = nullptr;
  char* tSel = nullptr;
  char* aeTitle = nullptr;
  char* netService = nullptr;
  char* transportClass = nullptr;
  int32_t r = dif_get_aedata(tree, name, &pSel, &sSel, &netAddr, &tSel, &aeTitle, &netService, &transportClass,
                             userConnectString);
  if (r == DIF_OK) r = DIFfetch_local_addr(tree, pSel, sSel, netAddr, tSel, &record->pAddress);
  if (r == DIF_OK && DIFfetch_local_aetitle(tree, aeTitle, &record->mask, &record->apTitle, &record->aeQual) != 0)
    r = DIF_BAD_VALUE;
  if (r == DIF_OK) {
    if (DIFfetch_local_nserv(tree, netService, &record->nService) != 0) {
      r = DIF_BAD_VALUE;
    } else {
      record->mask |= UL_AEID_NSERVICE;
      if (DIFfetch_local_tclass(tree, transportClass, &record->tClass) != 0) r = DIF_BAD_VALUE;
      else record->mask |= UL_AEID_TCLASS;
    }
  }
  // The texts served only the conversion.
  for (char* text : {pSel, sSel, netAddr, tSel, aeTitle, netService, transportClass}) _xm_freeItem(text);
  return r;
}

// ---------------------------------------------------------------------------
// Presentation address

int32_t DIFfetch_local_addr(XmTree* tree, const char* pSel, const char* sSel, const char* netAddr,
                            const char* tSel, UL_Paddress* pAddress) {
  if (pAddress == nullptr) return DIF_BAD_VALUE;
  pAddress->mask = 0;
  pAddress->nAddrs.links.next = pAddress->nAddrs.links.prev = &pAddress->nAddrs.links;
  pAddress->nAddrs.count = 0;
  if (netAddr == nullptr || !addressListShaped(netAddr)) return DIF_BAD_VALUE;

  uint8_t bytes[kDifTextSize];
  const int32_t n = DIFcvt_nsap(netAddr, bytes, sizeof bytes);
  if (n < 0) return DIF_BAD_VALUE;
  auto* node = static_cast<UL_NaddrEntry*>(_xm_allocItem(tree, sizeof(UL_NaddrEntry), XM_ZERO));
  if (node == nullptr) return DIF_NO_MEMORY;
  if (!dupOctets(tree, bytes, n, &node->addr)) {
    _xm_freeItem(node);
    return DIF_NO_MEMORY;
  }
  UL_Link* head = &pAddress->nAddrs.links;
  node->links.next = head;
  node->links.prev = head->prev;
  head->prev->next = &node->links;
  head->prev = &node->links;
  pAddress->nAddrs.count = 1;

  if (!isEmpty(tSel)) {
    uint8_t port[2];
    DIFcvt_tsap(tSel, port);
    if (!dupOctets(tree, port, 2, &pAddress->tSel)) return DIF_NO_MEMORY;
    pAddress->mask |= UL_PADDR_TSEL;
  }
  if (!isEmpty(sSel)) {
    if (const int32_t r = storeSelector(tree, sSel, &pAddress->sSel); r != DIF_OK) return r;
    pAddress->mask |= UL_PADDR_SSEL;
  }
  if (isEmpty(pSel)) return DIF_OK;
  if (const int32_t r = storeSelector(tree, pSel, &pAddress->pSel); r != DIF_OK) return r;
  pAddress->mask |= UL_PADDR_PSEL;
  return DIF_OK;
}

int32_t DIFcvt_nsap(const char* text, uint8_t* out, int32_t cap) {
  if (text == nullptr || out == nullptr || cap < 0) return -1;
  int32_t i = 0;
  const char* p = text;
  while (*p == ' ') ++p;
  while (*p != '\0') {
    if (i >= cap) return -1;
    uint8_t part = 0;
    for (; isDigit(*p); ++p) part = static_cast<uint8_t>(part * 10 + (*p - '0'));
    out[i++] = part;
    if (*p == '.') {
      ++p;
    } else if (*p == ' ') {
      // One separator for a run of blanks, none after the last address.
      while (*p == ' ') ++p;
      if (*p == '\0') break;
      if (i >= cap) return -1;
      out[i++] = 0x20;
    } else if (*p != '\0') {
      return -1;
    }
  }
  return i;
}

int32_t DIFcvt_tsap(const char* text, uint8_t* out) {
  long v = 0;
  if (text != nullptr) {
    const char* p = skipSpace(text);
    const bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    v = std::strtol(p, nullptr, hex ? 16 : 10);
  }
  out[0] = static_cast<uint8_t>((static_cast<unsigned long>(v) >> 8) & 0xFF);
  out[1] = static_cast<uint8_t>(static_cast<unsigned long>(v) & 0xFF);
  return 2;
}

int32_t DIFcvt_val(const char* text, uint8_t* out, int32_t cap) {
  if (text == nullptr || out == nullptr) return -1;
  return text[0] == '"' ? DIFcvt_asc(text, out, cap) : DIFcvt_hex(text, out, cap);
}

int32_t DIFcvt_asc(const char* text, uint8_t* out, int32_t cap) {
  if (text == nullptr || out == nullptr || text[0] != '"') return -1;
  int32_t n = 0;
  for (const char* p = text + 1; *p != '\0' && *p != '"'; ++p) {
    if (n >= cap) return -1;
    out[n++] = static_cast<uint8_t>(*p);
  }
  return n;
}

int32_t DIFcvt_hex(const char* text, uint8_t* out, int32_t cap) {
  if (text == nullptr || out == nullptr) return -1;
  const char* p = text;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  int32_t n = 0;
  for (; *p != '\0'; p += 2) {
    if (n >= cap || DIFx2i(p, &out[n]) != 0) return -1;
    ++n;
  }
  return n;
}

int32_t DIFx2i(const char* digits, uint8_t* out) {
  const int32_t hi = DIFhexval(digits[0]);
  if (hi < 0) return -1;
  const int32_t lo = DIFhexval(digits[1]);
  if (lo < 0) return -1;
  *out = static_cast<uint8_t>(hi << 4 | lo);
  return 0;
}

int32_t DIFhexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ---------------------------------------------------------------------------
// AP title and AE qualifier

int32_t DIFfetch_local_aetitle(XmTree* tree, const char* text, uint32_t* flags, UL_APTitle* apTitle,
                               UL_AEQual* aeQualifier) {
  if (text == nullptr || flags == nullptr || apTitle == nullptr || aeQualifier == nullptr) return DIF_BAD_VALUE;
  const char* p = text;
  if (set_up_ae_title(&p) == 0) return DIF_BAD_VALUE;
  const int32_t arcs = objid_len(p);
  if (arcs < 0) return DIF_BAD_VALUE;
  apTitle->objId.count = static_cast<uint32_t>(arcs);
  apTitle->objId.arcs = nullptr;
  if (arcs > 0) {
    if (const int32_t r = store_id_elements(tree, p, &apTitle->objId); r != DIF_OK) return r;
    *flags |= UL_AEID_APTITLE;
  }
  int64_t qualifier = 0;
  if (get_ae_qual(p, &qualifier) == 0) return DIF_BAD_VALUE;
  aeQualifier->integer = qualifier;
  if (qualifier >= 0) *flags |= UL_AEID_AEQUAL;
  aeQualifier->kind = UL_QUAL_INTEGER;
  apTitle->kind = UL_TITLE_OBJID;
  return DIF_OK;
}

int32_t set_up_ae_title(const char** text) {
  if (text == nullptr || *text == nullptr) return 0;
  const char* brace = std::strchr(*text, '{');
  if (brace == nullptr) return 0;
  *text = brace;
  return 1;
}

int32_t objid_len(const char* text) {
  if (text == nullptr) return -1;
  const char* p = *text == '{' ? text + 1 : text;
  int32_t count = 0;
  for (;;) {
    p = skipSpace(p);
    if (*p == '}') return count;
    if (*p == '\0') return -1;
    while (*p != '\0' && *p != '}' && !isSpace(*p)) ++p;
    ++count;
  }
}

int32_t store_id_elements(XmTree* tree, const char* text, ObjIdV* oid) {
  if (text == nullptr || oid == nullptr || oid->count == 0 || oid->count > UINT32_MAX / sizeof(uint32_t))
    return DIF_BAD_VALUE;
  auto* arcs = static_cast<uint32_t*>(_xm_allocItem(tree, oid->count * static_cast<uint32_t>(sizeof(uint32_t)), 0));
  if (arcs == nullptr) return DIF_NO_MEMORY;
  const char* p = *text == '{' ? text + 1 : text;
  for (uint32_t i = 0; i < oid->count; ++i) {
    p = skipSpace(p);
    uint64_t arc = 0;
    if (!readDecimal(&p, UINT32_MAX, &arc) || !(isSpace(*p) || *p == '}')) {
      _xm_freeItem(arcs);
      return DIF_BAD_VALUE;
    }
    arcs[i] = static_cast<uint32_t>(arc);
  }
  oid->arcs = arcs;
  return DIF_OK;
}

int32_t get_ae_qual(const char* text, int64_t* qualifier) {
  if (text == nullptr || qualifier == nullptr) return 0;
  const char* brace = std::strchr(text, '}');
  if (brace == nullptr) return 0;
  const char* p = skipSpace(brace + 1);
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint64_t magnitude = 0;
  if (!readDecimal(&p, static_cast<uint64_t>(INT32_MAX) + (negative ? 1 : 0), &magnitude)) return 0;
  *qualifier = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return 1;
}

int32_t DIFfetch_local_nserv(XmTree*, const char* text, int32_t* out) {
  long v = 0;
  if (!leadingNumber(text, &v)) {
    *out = UL_NSERVICE_DEFAULT;
    return DIF_OK;
  }
  if (v < 0 || v > 2) return DIF_BAD_VALUE;
  *out = static_cast<int32_t>(v);
  return DIF_OK;
}

int32_t DIFfetch_local_tclass(XmTree*, const char* text, int32_t* out) {
  long v = 0;
  if (!leadingNumber(text, &v)) {
    *out = UL_TCLASS_DEFAULT;
    return DIF_OK;
  }
  if (v < 0 || v > 4) return DIF_BAD_VALUE;
  *out = static_cast<int32_t>(v);
  return DIF_OK;
}

// ---------------------------------------------------------------------------
// Directory-file scanners

int32_t DIFpass_to_after_entry(const char* name, FILE* file, char* buffer) {
  if (file == nullptr || buffer == nullptr) return 0;
  if (name == nullptr) name = "";
  const size_t len = std::strlen(name);
  while (const char* line = nextEntryLine(file, buffer)) {
    if (len == 0) return 1;
    if (std::strncmp(line, name, len) == 0 && isSpace(line[len])) return 1;
  }
  return 0;
}

int32_t DIFpass_to_after_title(const UL_AEId* title, FILE* file, char* buffer) {
  if (title == nullptr || file == nullptr || buffer == nullptr) return DIF_BAD_VALUE;
  const ObjIdV& want = title->apTitle.objId;
  while (const char* line = nextEntryLine(file, buffer)) {
    const char* p = line;
    if (set_up_ae_title(&p) == 0) return DIF_BAD_VALUE;
    ++p;
    uint32_t n = 0;
    bool same = title->apTitle.kind == UL_TITLE_OBJID;
    for (int64_t arc; (arc = getObjId(&p)) >= 0; ++n)
      if (n >= want.count || want.arcs == nullptr || want.arcs[n] != static_cast<uint64_t>(arc)) same = false;
    if (*p != '}' || n != want.count) same = false;
    int64_t qualifier = 0;
    if (same && get_ae_qual(p, &qualifier) != 0 && title->aeQual.kind == UL_QUAL_INTEGER &&
        qualifier == title->aeQual.integer)
      return DIF_OK;
  }
  return DIF_BAD_VALUE;
}

int64_t getObjId(const char** text) {
  if (text == nullptr || *text == nullptr) return -1;
  const char* p = skipSpace(*text);
  uint64_t arc = 0;
  *text = p;
  if (!readDecimal(&p, UINT32_MAX, &arc)) return -1;
  *text = p;
  return static_cast<int64_t>(arc);
}
