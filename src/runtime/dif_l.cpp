// The texts of a directory entry, as the configuration gives them.
#include <cstring>

#include "src/runtime/dif.h"
#include "src/runtime/hostaddr.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"

TmHandle al_comTMHandle = -1;

namespace {

constexpr const char* kSrc = "src/dif_l";

// Reads a value longer than an entry text can hold into a larger buffer
// first, so that a value that does not fit is seen instead of being cut.
constexpr int32_t kReadSize = 512;

bool isTooLong(const char* value) { return std::strlen(value) >= static_cast<size_t>(kDifTextSize); }

// Reads key PORT or ADDRESS of database resource `name` into `out` (an entry
// text). False when it is empty or does not fit; both are traced.
bool readResourceKey(const char* name, const char* key, char* out, const char* userConnectString) {
  char value[kReadSize] = "";
  qv_getInfoExt(QV_INFO_DBINIFILE, name, key, value, sizeof value, userConnectString);
  if (value[0] == '\0') {
    if (std::strcmp(key, "PORT") == 0)
      TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): PORT is not set for Database:%s\n", name);
    else
      TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): ADDRESS is not set for Database:%s\n", name);
    return false;
  }
  if (isTooLong(value)) {
    TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): %s of Database:%s is longer than %d characters\n", key,
             name, kDifTextSize - 1);
    return false;
  }
  std::memcpy(out, value, std::strlen(value) + 1);
  return true;
}

// Rebuilds `netAddr` from the blank-separated list `list` (changed in place):
// dotted addresses are taken as they are, host names resolved; one blank
// between two entries. DIF_OK, or DIF_NO_ENTRY (traced) for a name that does
// not resolve or a list that does not fit the text.
int32_t resolveAddressList(const char* name, char* list, char* netAddr) {
  netAddr[0] = '\0';
  size_t used = 0;
  char* rest = list;
  for (;;) {
    int32_t isLast = 0;
    char* entry = QvGetNextAddr(rest, &isLast);
    if (entry == nullptr || entry[0] == '\0') break;
    const size_t entryLen = std::strlen(entry);
    char resolved[kIpTextSize];
    const char* addr = entry;
    if (checkAddr(entry) == 0) {
      addr = tp0hname_to_ipaddr(entry, resolved, sizeof resolved);
      if (addr == nullptr || addr[0] == '\0') {
        TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): Could not convert hostname %s to ip address\n",
                 entry);
        return DIF_NO_ENTRY;
      }
    }
    const size_t sep = used > 0 ? 1 : 0;
    const size_t len = std::strlen(addr);
    if (used + sep + len >= static_cast<size_t>(kDifTextSize)) {
      TM_TRACE(al_comTMHandle, 8, kSrc,
               "dif_get_aedata(): ADDRESS list of Database:%s does not fit in %d characters\n", name,
               kDifTextSize - 1);
      netAddr[0] = '\0';
      return DIF_NO_ENTRY;
    }
    if (sep != 0) netAddr[used++] = ' ';
    std::memcpy(netAddr + used, addr, len + 1);
    used += len;
    if (isLast != 0) break;
    rest = entry + entryLen + 1;  // past the terminator put over the blank
  }
  return DIF_OK;
}

}  // namespace

int32_t checkAddr(const char* text) {
  bool valid = text != nullptr;
  int32_t dots = 0;
  int32_t digits = 0;
  int32_t value = 0;
  for (const char* p = text; valid; ++p) {
    if (*p >= '0' && *p <= '9') {
      valid = ++digits <= 3;
      value = value * 10 + (*p - '0');
    } else if (*p == '.' || *p == '\0') {
      valid = digits > 0 && value <= 255 && (*p == '\0' || ++dots <= 3);
      if (*p == '\0') break;
      digits = value = 0;
    } else {
      valid = false;
    }
  }
  valid = valid && dots == 3;
  if (valid)
    TM_TRACE(al_comTMHandle, 128, kSrc, "checkAddr(): '%s' was determined to be a valid IP addess", text);
  else
    TM_TRACE(al_comTMHandle, 128, kSrc, "checkAddr(): '%s' was determined to not be a valid IP addess",
             text != nullptr ? text : "(null)");
  return valid ? 1 : 0;
}

int32_t dif_get_aedata(XmTree* tree, const char* name, char** pSel, char** sSel, char** netAddr, char** tSel,
                       char** aeTitle, char** netService, char** transportClass, const char* userConnectString) {
  char** const outs[] = {pSel, sSel, netAddr, tSel, aeTitle, netService, transportClass};
  for (char** out : outs)
    if (out != nullptr) *out = nullptr;
  for (char** out : outs)
    if (out == nullptr) return DIF_NO_ENTRY;
  if (name == nullptr) name = "";

  char drd[QV_PATH_SIZE];
  if (qv_getInfo(QV_INFO_DRDINIFILE, 0, drd, sizeof drd, al_comTMHandle) != QV_INFO_COPIED) {
    TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): Servers file path not found");
    return DIF_NO_ENTRY;
  }
  for (char** out : outs) {
    *out = static_cast<char*>(_xm_allocItem(tree, kDifTextSize, XM_ZERO));
    if (*out == nullptr) {
      TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): Unable to allocate memory");
      for (char** o : outs) {
        _xm_freeItem(*o);
        *o = nullptr;
      }
      return DIF_NO_ENTRY;
    }
  }
  qv_getInfo(QV_INFO_PSELECTOR, 0, *pSel, kDifTextSize, al_comTMHandle);
  qv_getInfo(QV_INFO_SSELECTOR, 0, *sSel, kDifTextSize, al_comTMHandle);
  qv_getInfo(QV_INFO_AETITLE, 0, *aeTitle, kDifTextSize, al_comTMHandle);

  if (std::strcmp(name, "qvserver") == 0) {
    qv_getInfo(QV_INFO_SERVER_PORT, 0, *tSel, kDifTextSize, al_comTMHandle);
    if ((*tSel)[0] == '\0') {
      TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): PORT is not set for Server:%s\n", name);
      return DIF_NO_ENTRY;
    }
    qv_getInfo(QV_INFO_LOCALADDRESS, 0, *netAddr, kDifTextSize, al_comTMHandle);
    return DIF_OK;
  }
  if (std::strcmp(name, "qvclient") == 0) {
    qv_getInfo(QV_INFO_CLIENT_PORT, 0, *tSel, kDifTextSize, al_comTMHandle);
    if ((*tSel)[0] == '\0') {
      TM_TRACE(al_comTMHandle, 8, kSrc, "dif_get_aedata(): PORT is not set for Client:%s\n", name);
      return DIF_NO_ENTRY;
    }
    TM_TRACE(al_comTMHandle, 64, kSrc, "dif_get_aedata(): PORT %s is set for Database:%s\n", *tSel, name);
    qv_getInfo(QV_INFO_LOCALADDRESS, 0, *netAddr, kDifTextSize, al_comTMHandle);
    return DIF_OK;
  }

  if (!readResourceKey(name, "PORT", *tSel, userConnectString)) return DIF_NO_ENTRY;
  TM_TRACE(al_comTMHandle, 64, kSrc, "dif_get_aedata(): PORT %s is set for Database:%s\n", *tSel, name);
  char list[kDifTextSize];
  if (!readResourceKey(name, "ADDRESS", list, userConnectString)) return DIF_NO_ENTRY;
  return resolveAddressList(name, list, *netAddr);
}
