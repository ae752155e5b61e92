// The RDA client's configuration record and its table of trace modules.
//
// Each record set that runs the client stack has one configuration record,
// held in its RdaCliTLS: an XM item in a tree of its own, into which every
// text of the record is copied. createConfInfo makes it with built-in
// defaults and has it filled from the configuration (RDA_cliInitConfInfo,
// src/rdaclient/clicnf.h).
//
// Beside it the thread's server list: one entry per database resource
// named at a connect, made from the resource file (RDA_cliGetServer).
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"
#include "src/runtime/tm.h"

struct XmTree;
struct UL_AEId;

// Error number of the client for a directory entry that cannot be resolved
// (0xCD18: no name in the RDA tables). Memory that cannot be had is
// RDA_ERR_NO_RESOURCE (src/rda/rda_errno.h).
inline constexpr uint32_t RDA_ERR_NO_LOCAL_ENTITY = 52504;

// ---------------------------------------------------------------------------
// Trace table: the 14 modules of the stack, ended by a row of zeros.

struct TraceTblRow {
  const char* prefix;   // line prefix, e.g. "CLI : "
  const char* optName;  // option name, e.g. "cli"
  TmHandle* handle;     // the module's handle global
  uint32_t mask;        // set from the configuration before registration
};
static_assert(sizeof(TraceTblRow) == 32);

inline constexpr int32_t kTraceTblModules = 14;
inline constexpr int32_t kTraceTblAll = 13;  // the row whose mask applies to every module

// Written at the client's start-up, which runs under the global mutex.
extern TraceTblRow traceTBL[kTraceTblModules + 1];

extern TmHandle rda_cliTMHandle;  // the client's own module; -1 = not registered
extern TmHandle rda_AllTMHandle;  // the "All" row's module; -1 = not registered

// ---------------------------------------------------------------------------
// Records

struct RdaCliLink {
  RdaCliLink* next;
  RdaCliLink* prev;
};

// An RDA user name: one of the calling entities of the client's environments.
struct RdaUser {
  RdaCliLink links;
  char* name;
};
static_assert(sizeof(RdaUser) == 24);

// A server the client may associate with, and the defaults of its dialogue.
struct SrvrInfo {
  RdaCliLink links;
  char* serverName;            // name of the directory entry of the called entity
  uint32_t control;            // control flag
  uint32_t fuMask;             // functional units
  const ObjIdV* conformLevel;  // SQL conformance level
  const ObjIdV* charSet;       // character set
  uint32_t usageMode;          // 0 read-only, 1 read-write
  char* rsrcName;              // database resource name
  void* accessCtl;             // access-control data; never set
};

struct RdaCliConfInfo {
  uint32_t error;            // 0, or the reason the record could not be filled
  XmTree* tree;              // the record's own tree
  UL_AEId* localAE;          // the directory entry "qvclient"
  char* transport;           // transport provider name
  uint32_t numBuffers;
  uint32_t bufferSize;
  uint32_t fetchBlockSize;
  char* traceOutput;         // trace file name
  uint32_t logClose;         // close the trace file after each write
  TraceTblRow* traceTbl;     // traceTBL
  RdaCliLink users;          // ring of RdaUser
  uint32_t userCount;
  uint32_t rspTimeOut;       // seconds
  SrvrInfo defaultServer;    // a ring of one while it is in no list
};

// Defaults of a new record.
inline constexpr const char* kConfDefaultTransport = "TP4";
inline constexpr uint32_t kConfDefaultBuffers = 10;
inline constexpr uint32_t kConfDefaultBufferSize = 1024;
inline constexpr uint32_t kConfDefaultFetchBlock = 10;
inline constexpr const char* kConfDefaultServer = "defaultServer";
inline constexpr uint32_t kConfDefaultControl = 1;
inline constexpr uint32_t kConfDefaultFuMask = 236;
inline constexpr uint32_t kConfDefaultUsageMode = 1;

// A new record with the defaults, in a tree of its own below the thread's
// root tree; NULL when memory is short.
RdaCliConfInfo* allocConfInfo();
// Makes the calling thread's record (a record it still has goes first) and
// fills it from the configuration. 1, or 0 with the reason in `*err` and no
// record left.
int32_t createConfInfo(uint32_t* err);
// Frees the calling thread's record, if any.
void deleteConfInfo();
// The calling thread's record; NULL when it has none.
RdaCliConfInfo* QvGetRdaCliConfInfo();

// ---------------------------------------------------------------------------
// Users: the n-th environment of the process calls from the n-th user.

// Appends a user named "user%d" with the count + 1: 0, or 1 with the
// record's error number set.
int32_t RDA_cliAddUser();
// The n-th user name (from 1), one user being added when n is the count + 1;
// NULL when there is none.
const char* RDA_cliGetUser(uint32_t n);

// ---------------------------------------------------------------------------
// Server list

struct RdaSrvrList {
  RdaCliLink ring;  // of SrvrInfo
  uint32_t count;
  XmTree* tree;     // the list's own tree, holding every entry
  uint32_t error;   // RDA_ERR_NO_RESOURCE when an entry could not be made
};

// Makes the calling thread's empty list (one it still has goes first): 1,
// or 0 with RDA_ERR_NO_RESOURCE in `*err`.
int32_t createSrvrInfo(uint32_t* err);
void deleteSrvrInfo();
RdaSrvrList* QvGetRdaSrvrList();
// Nothing to do: 1.
int32_t RDA_cliInitSrvrInfo();
// The server entry of a data resource: the default server for no name,
// else the list's entry of that resource name (compared without regard to
// case), made from the resource file when the list has none; NULL when
// there is none.
SrvrInfo* RDA_cliGetServer(const char* name, const char* connectString);
// 1 when the list has an entry of `name` or one was added; else 0.
int32_t RDA_addDbResource(const char* name, const char* connectString);
// Appends an entry calling `serverName` for the resource `name`, with the
// defaults of a dialogue; NULL (and the list's error word set) when memory
// is short, in which case nothing is linked.
SrvrInfo* RDA_cliAddSrvrInfo(const char* serverName, const char* name);
