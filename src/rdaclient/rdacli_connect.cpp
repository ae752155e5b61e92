#include "src/rdaclient/rdacli_connect.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/qvstring.h"
#include "common/qvthread.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "src/runtime/hostaddr.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/ul_names.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"

namespace {

constexpr const char* kSrc = "src/rdacli_connect";

constexpr char kDefault[] = "DEFAULT";
constexpr size_t kDefaultLength = sizeof kDefault - 1;
constexpr int32_t kConnectStringShown = 16384;
constexpr int32_t kSuffixTime = 8;

// Added to time(NULL) in each dialogue id suffix; under hSerializeRdaCliMutex.
uint64_t gDlgIdCounter = 0;

// A buffer in the connection's tree, freed when the call ends.
class TreeBuffer {
 public:
  TreeBuffer(XmTree* tree, uint32_t size) : p_(static_cast<char*>(_xm_allocItem(tree, size, XM_ZERO))) {}
  ~TreeBuffer() {
    if (p_ != nullptr) _xm_freeItem(p_);
  }
  TreeBuffer(const TreeBuffer&) = delete;
  TreeBuffer& operator=(const TreeBuffer&) = delete;
  char* get() const { return p_; }

 private:
  char* p_;
};

void addIndex(RDA_CliHDBC* conn, uint32_t index, const char* text) {
  RDA_cliAddError(&conn->errors, index, 0, text, conn->tree);
}

// The length of an argument: -3 measures the text; 0, a NULL text and any
// other negative length give none.
size_t lengthOf(const char* text, int16_t length) {
  if (text == nullptr) return 0;
  if (length == RDA_CLI_NTS) return std::strlen(text);
  return length > 0 ? static_cast<size_t>(length) : 0;
}

// The client host's first IPv4 address, else "0.0.0.0".
void clientAddress(char* out, size_t size) {
  char host[256] = "";
  if (gethostname(host, sizeof host - 1) != 0 || tp0hname_to_ipaddr(host, out, size) == nullptr)
    std::snprintf(out, size, "0.0.0.0");
}

void freeStatements(RDA_CliHDBC* conn, bool closeCursors) {
  while (conn->stmts.head.next != nullptr && conn->stmts.head.next != &conn->stmts.head) {
    auto* stmt = reinterpret_cast<RDA_CliHSTMT*>(conn->stmts.head.next);
    if (closeCursors && (stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0) (void)RDA_cliCloseCursor(stmt);
    RDA_cliDropStmt(stmt);
  }
  conn->stmts.count = 0;
}

// Sends `req` and waits: false when a diagnostic came.
bool sendAndWait(RDA_CliHDBC* conn, GIDU* req) {
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  return conn->errors.count == 0;
}

}  // namespace

void rda_copyBuffer(char* dst, const char* src, int16_t length) {
  dst[0] = '\0';
  if (src == nullptr) return;
  size_t n = 0;
  if (length == RDA_CLI_NTS) n = std::strlen(src);
  else if (length > 0) n = static_cast<size_t>(length);
  else return;
  if (n > static_cast<size_t>(kRdaCliCredentialSize - 1)) n = kRdaCliCredentialSize - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

void encryptAuthData(char* buffer, int16_t length) {
  if (buffer == nullptr || length == 0) return;
  int k = 1;
  for (size_t i = 0; length == RDA_CLI_NTS ? buffer[i] != '\0' : i < static_cast<size_t>(length > 0 ? length : 0);
       ++i) {
    buffer[i] = static_cast<char>(static_cast<unsigned char>(buffer[i]) + k);
    k = k == 9 ? 1 : k + 1;
  }
}

OctStgV rda_cliCreateDlgId(XmTree* tree) {
  const RdaCliConfInfo* conf = QvGetRdaCliConfInfo();
  const UL_Paddress* local = conf != nullptr && conf->localAE != nullptr ? &conf->localAE->pAddress : nullptr;
  const UL_NaddrEntry* naddr = nullptr;
  if (local != nullptr && local->nAddrs.links.next != nullptr && local->nAddrs.links.next != &local->nAddrs.links)
    naddr = reinterpret_cast<const UL_NaddrEntry*>(local->nAddrs.links.next);
  const uint32_t addrLen = naddr != nullptr && naddr->addr.octets != nullptr ? naddr->addr.length : 0;
  const uint32_t selLen =
      local != nullptr && (local->mask & UL_PADDR_TSEL) != 0 && local->tSel.octets != nullptr ? local->tSel.length : 0;
  const uint32_t length = addrLen + selLen + kSuffixTime;
  auto* octets = static_cast<uint8_t*>(_xm_allocItem(tree, length, 0));
  if (octets == nullptr) return OctStgV{0, nullptr};
  if (addrLen > 0) std::memcpy(octets, naddr->addr.octets, addrLen);
  if (selLen > 0) std::memcpy(octets + addrLen, local->tSel.octets, selLen);
  uint64_t counter = 0;
  {
    QvCheckedLock lock(hSerializeRdaCliMutex);
    counter = gDlgIdCounter++;
  }
  uint64_t v = static_cast<uint64_t>(std::time(nullptr)) + counter;
  for (int i = 0; i < kSuffixTime; ++i, v >>= 8) octets[addrLen + selLen + i] = static_cast<uint8_t>(v & 0xFF);
  return OctStgV{length, octets};
}

int32_t rda_cliInitUserData(char* out, const char* connectString) {
  char address[kIpTextSize + 4] = "";
  clientAddress(address, sizeof address);
  // The connection string with its credentials masked, in a copy.
  static thread_local char masked[kRdaCliMaskedConnectSize];
  masked[0] = '\0';
  if (connectString != nullptr) {
    std::snprintf(masked, sizeof masked, "%s", connectString);
    HideAuthenticationDataForTracing(masked);
  }
  const int n = std::snprintf(out, kRdaCliUserDataSize, "%s,%d,%s,%.*s,%s", "KVO_RDA_CLIENT", giRdaStmtOptimizeLevel,
                              address, kConnectStringShown, masked, "V1");
  if (n < 0) return 0;
  return n < kRdaCliUserDataSize ? n : kRdaCliUserDataSize - 1;
}

int32_t rda_cliConnect(RDA_CliHDBC* conn, const char* dataResource, int16_t dataResourceLength, const char* user,
                       int16_t userLength, const char* password, int16_t passwordLength, const char* connectString) {
  // 1. The connection and its work buffer.
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: invalid connHndl %lx\n",
             reinterpret_cast<unsigned long>(conn));
    return RDA_CLI_INVALID_HANDLE;
  }
  TreeBuffer userData(conn->tree, kRdaCliUserDataSize);
  if (userData.get() == nullptr) return RDA_CLI_ERROR;
  RDA_cliClearErrorList(&conn->errors);
  // Arguments larger than the work buffers are refused, not cut.
  const struct {
    size_t length;
    size_t max;
    const char* text;
  } limits[] = {
      {dataResourceLength > 0 ? static_cast<size_t>(dataResourceLength) : 0, kRdaCliResourceNameSize - 1,
       "Data resource name is longer than 127 bytes"},
      {lengthOf(user, userLength), kRdaCliCredentialSize - 1, "User name is longer than 527 bytes"},
      {lengthOf(password, passwordLength), kRdaCliCredentialSize - 1, "Password is longer than 527 bytes"},
      {connectString != nullptr ? std::strlen(connectString) : 0, kRdaCliConnectStringMax,
       "Connect string is longer than 16399 bytes"},
  };
  for (const auto& l : limits) {
    if (l.length > l.max) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: %s\n", l.text);
      addIndex(conn, RDA_CLI_ROW_INVALID_ARGUMENT, l.text);
      return RDA_CLI_ERROR;
    }
  }

  // 2. The credentials.
  char userName[kRdaCliCredentialSize];
  char pass[kRdaCliCredentialSize];
  rda_copyBuffer(userName, user, userLength);
  rda_copyBuffer(pass, password, passwordLength);

  // 3-4. The template, and no association yet.
  if (conn->tmpl == nullptr) {
    conn->tmpl = rda_createTemplateGidu(conn->env, conn, conn->env->tmpl.pe, nullptr);
    if (conn->tmpl == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: can't build template gidu\n");
      addIndex(conn, RDA_CLI_ROW_NO_MEMORY, nullptr);
      return RDA_CLI_ERROR;
    }
  }
  if ((conn->state & RDA_CLI_ST_ASSOCIATED) != 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: connection already exists\n");
    addIndex(conn, RDA_CLI_ROW_CONNECTION_IN_USE, nullptr);
    return RDA_CLI_ERROR;
  }
  // Only now: the reference of an association that stands is kept.
  conn->tmpl->pc = nullptr;

  // 5-6. The server entry of the data resource.
  const char* name = nullptr;
  char nameBuffer[kRdaCliResourceNameSize];
  const size_t nameLength = lengthOf(dataResource, dataResourceLength);
  if (nameLength > 0) {
    const size_t compared = nameLength < kDefaultLength ? nameLength : kDefaultLength;
    if (gqv_memcmp(dataResource, kDefault, compared) != 0) {
      if (dataResourceLength > 0) {
        std::memcpy(nameBuffer, dataResource, nameLength);
        nameBuffer[nameLength] = '\0';
        name = nameBuffer;
      } else {
        name = dataResource;
      }
    }
  }
  SrvrInfo* server = RDA_cliGetServer(name, connectString);
  if (server == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: Invalid Database Resource Name:%s\n",
             name != nullptr ? name : "");
    addIndex(conn, RDA_CLI_ROW_CONNECTION_FAILURE, "Invalid Database Resource Name");
    return RDA_CLI_ERROR;
  }
  conn->server = server;
  const char* serverName = server->serverName != nullptr ? server->serverName : "";

  // 7-8. The association.
  GIDU* assoc = rda_createAssocReq(conn->tmpl, conn->env->user, serverName, rda_xopenAppCtxName, nullptr, SR_DUPLEX,
                                   connectString);
  if (assoc == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: can't build A-Associate request\n");
    char text[300];
    std::snprintf(text, sizeof text, "Database:%s", serverName);
    addIndex(conn, RDA_CLI_ROW_SERVER_LOOKUP, text);
    return RDA_CLI_ERROR;
  }
  if (!sendAndWait(conn, assoc)) return RDA_CLI_ERROR;
  if ((conn->state & RDA_CLI_ST_ASSOCIATED) == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: A-Assoicate confirm returns failure\n");
    addIndex(conn, RDA_CLI_ROW_CANT_CONNECT, "A-Asscciate request failed.");
    return RDA_CLI_ERROR;
  }

  // 9-11. R-Initialize with the dialogue id, the credentials and the user data.
  const OctStgV suffix = rda_cliCreateDlgId(conn->tree);
  if ((giRdaStmtOptimizeLevel & kRdaCliScrambleBits) != 0) {
    encryptAuthData(userName, RDA_CLI_NTS);
    encryptAuthData(pass, RDA_CLI_NTS);
  }
  RDAAuthData auth{};
  auth.code = RDA_AUTH_TEXT;
  auth.text = pass;
  const int32_t dataLength = rda_cliInitUserData(userData.get(), connectString);
  TM_TRACE(rda_cliTMHandle, 16, kSrc, "rda_cliConnect(): UserData:<%s>\n", userData.get());
  const OctStgV data{static_cast<uint32_t>(dataLength), reinterpret_cast<uint8_t*>(userData.get())};
  GIDU* init = rda_createSQLInitReq(conn->tmpl, static_cast<int32_t>(conn->opId), &suffix, userName, &auth,
                                    &server->control, server->fuMask, server->conformLevel, &data);
  if (suffix.octets != nullptr) _xm_freeItem(suffix.octets);
  std::memset(pass, 0, sizeof pass);
  if (init == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: R-Initialize request can't be build\n");
    addIndex(conn, RDA_CLI_ROW_NO_MEMORY, nullptr);
    return RDA_CLI_ERROR;
  }

  // 12-14. R-Initialize, then R-Open.
  bool ok = sendAndWait(conn, init);
  if (ok && (conn->state & RDA_CLI_ST_DIALOGUE) == 0) {
    addIndex(conn, RDA_CLI_ROW_CANT_CONNECT, "R-Initialize request failed");
    ok = false;
  }
  if (ok) {
    std::snprintf(userData.get(), kRdaCliUserDataSize, "%s", server->rsrcName != nullptr ? server->rsrcName : "");
    const auto usage = static_cast<int32_t>(server->usageMode);
    GIDU* open = rda_createSQLOpenReq(conn->tmpl, static_cast<int32_t>(conn->opId), 0, userData.get(),
                                      static_cast<const RDAAccessCntlData*>(server->accessCtl), &usage,
                                      server->charSet, nullptr);
    if (open == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliConnect: can't build R-Open request\n");
      addIndex(conn, RDA_CLI_ROW_NO_MEMORY, nullptr);
      ok = false;
    } else if (!sendAndWait(conn, open)) {
      ok = false;
    } else if ((conn->state & RDA_CLI_ST_RESOURCE_OPEN) != 0) {
      return RDA_CLI_SUCCESS;
    } else {
      addIndex(conn, RDA_CLI_ROW_CANT_CONNECT, "R-Open request failed");
      ok = false;
    }
  }

  // 15. A server that sends the client elsewhere keeps the association.
  if (rda_cli_IsLoadBalancingError(conn) == 0) abortConnection(conn);
  return RDA_CLI_ERROR;
}

int32_t rda_cliDisconnect(RDA_CliHDBC* conn) {
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDisconnect: invalid connection handle %lx\n",
             reinterpret_cast<unsigned long>(conn));
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&conn->errors);
  if ((conn->state & RDA_CLI_ST_ASSOCIATED) == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDisconnect: connection not open\n");
    addIndex(conn, RDA_CLI_ROW_NO_CONNECTION, nullptr);
    conn->state = 0;
    freeStatements(conn, false);
    return RDA_CLI_SUCCESS_WITH_INFO;
  }
  freeStatements(conn, true);

  auto fallBack = [conn] {
    abortConnection(conn);
    return RDA_CLI_SUCCESS_WITH_INFO;
  };
  if ((conn->state & RDA_CLI_ST_TRANSACTION) != 0) {
    conn->state |= RDA_CLI_ST_DISCONNECTING;
    const int32_t rolledBack = RDA_cliRollback(conn);
    conn->state &= ~RDA_CLI_ST_DISCONNECTING;
    if (rolledBack == 0) return fallBack();
  }
  if ((conn->state & RDA_CLI_ST_RESOURCE_OPEN) != 0) {
    GIDU* close = rda_createSQLCloseReq(conn->tmpl, static_cast<int32_t>(conn->opId));
    if (close == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDisconnect: can't build R-Close request\n");
      addIndex(conn, RDA_CLI_ROW_NO_MEMORY, nullptr);
      return RDA_CLI_ERROR;
    }
    if (!sendAndWait(conn, close)) return fallBack();
    if ((conn->state & RDA_CLI_ST_RESOURCE_OPEN) != 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDisconnect: can't close database resource\n");
      addIndex(conn, RDA_CLI_ROW_DISCONNECT_ERROR, nullptr);
      return fallBack();
    }
  }
  if ((conn->state & RDA_CLI_ST_DIALOGUE) != 0) {
    GIDU* term = rda_createSQLTermReq(conn->tmpl, static_cast<int32_t>(conn->opId));
    if (term == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDisconnect: can't build R-Terminate request\n");
      addIndex(conn, RDA_CLI_ROW_NO_MEMORY, nullptr);
      return fallBack();
    }
    if (!sendAndWait(conn, term)) return fallBack();
    if ((conn->state & RDA_CLI_ST_DIALOGUE) != 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDisconnect: can't terminate dialogue\n");
      addIndex(conn, RDA_CLI_ROW_DISCONNECT_ERROR, nullptr);
      return fallBack();
    }
  }
  GIDU* release = rda_createRelReq(conn->tmpl, nullptr);
  if (release == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDisconnect: can't build A-Release request\n");
    addIndex(conn, RDA_CLI_ROW_NO_MEMORY, nullptr);
    return fallBack();
  }
  if (!sendAndWait(conn, release)) return fallBack();
  if ((conn->state & RDA_CLI_ST_ASSOCIATED) == 0) return RDA_CLI_SUCCESS;
  return fallBack();
}

void abortConnection(RDA_CliHDBC* conn) {
  conn->state &= ~RDA_CLI_ST_ASSOCIATED;
  if (conn->tmpl == nullptr) return;
  if (GIDU* abort = rda_createAbortReq(conn->tmpl)) {
    RDA_cliSendEvent(abort, RDA_CLI_SEND_ONLY);
    return;
  }
  addIndex(conn, RDA_CLI_ROW_NO_MEMORY, nullptr);
  // No memory for an A-ABORT: the template itself goes down as the local
  // quick abort, and the connection has none until the next connect.
  GIDU* tmpl = conn->tmpl;
  conn->tmpl = nullptr;
  RDA_cliPurgeEventQueue(tmpl);
  tmpl->event = AL_QABORT;
  tmpl->iduType = AL_IDU_RDA;
  RDA_cliSendEvent(tmpl, RDA_CLI_SEND_ONLY);
}
