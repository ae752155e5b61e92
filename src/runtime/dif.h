// Directory information: the application-entity identity of a name (its
// presentation address, AP title and AE qualifier, network service and
// transport class), read from the configuration as text and converted into
// an AE identifier record.
//
// A name is "qvclient" (this client), "qvserver" (the server of the main
// configuration file) or a database resource of the database-resource file
// (keys PORT and ADDRESS, else the keywords of that name in the user's
// connection string). Nothing is kept between lookups: the texts and the
// converted values are allocated in the caller's XM tree.
#pragma once

#include <cstdint>
#include <cstdio>

#include "src/runtime/tm.h"

struct XmTree;
struct UL_AEId;
struct UL_Paddress;
struct UL_APTitle;
struct UL_AEQual;
struct ObjIdV;

// Trace module of the application layer, under which the directory traces
// too; registered by the client's start-up, -1 until then. It is defined
// here, below its users, and the application layer's trace header includes
// this one for it.
extern TmHandle al_comTMHandle;

// Results of the directory operations.
inline constexpr int32_t DIF_OK = 0;
inline constexpr int32_t DIF_NO_MEMORY = 1;   // a converted value could not be allocated
inline constexpr int32_t DIF_NO_ENTRY = 18;   // the entry's data is missing (or does not fit)
inline constexpr int32_t DIF_BAD_VALUE = 19;  // empty name, or a text that cannot be converted

// Size of each text of an entry, terminator included.
inline constexpr int32_t kDifTextSize = 128;

// Called once at the client's stack start-up; nothing to do.
void dif_init_local();

// Fills `record` for `name`; converted values are allocated in `tree`.
// `userConnectString` may be NULL.
int32_t dif_fetch_local(XmTree* tree, const char* name, UL_AEId* record, const char* userConnectString);

// Allocates the seven zero-filled texts of an entry in `tree` and fills them
// from the configuration. 0 or DIF_NO_ENTRY.
int32_t dif_get_aedata(XmTree* tree, const char* name, char** pSel, char** sSel, char** netAddr, char** tSel,
                       char** aeTitle, char** netService, char** transportClass, const char* userConnectString);

// 1 when `text` is a dotted IPv4 address: four parts of one to three digits,
// each at most 255.
int32_t checkAddr(const char* text);

// ---- Converters ----

int32_t DIFfetch_local_addr(XmTree* tree, const char* pSel, const char* sSel, const char* netAddr,
                            const char* tSel, UL_Paddress* pAddress);
// A blank-separated list of dotted addresses into octets: one per part, 0x20
// between two addresses. Returns the octet count, or -1 for a character
// other than a digit, '.' or blank, or when `cap` octets do not hold it.
int32_t DIFcvt_nsap(const char* text, uint8_t* out, int32_t cap);
// A port number (decimal, or hexadecimal after 0x) as 2 octets, high first.
int32_t DIFcvt_tsap(const char* text, uint8_t* out);
// A selector: a quoted text taken as octets, or hexadecimal digits in pairs
// with an optional 0x. Returns the octet count, or -1 when malformed or
// longer than `cap`.
int32_t DIFcvt_val(const char* text, uint8_t* out, int32_t cap);
int32_t DIFcvt_asc(const char* text, uint8_t* out, int32_t cap);
int32_t DIFcvt_hex(const char* text, uint8_t* out, int32_t cap);
// Two hexadecimal digits into one octet: 0, or -1.
int32_t DIFx2i(const char* digits, uint8_t* out);
// 0-15 for a hexadecimal digit, else -1.
int32_t DIFhexval(char c);

// The AE title text "{ arcs } qualifier" into the AP title and AE qualifier;
// presence bits UL_AEID_APTITLE and UL_AEID_AEQUAL are ORed into `flags`.
int32_t DIFfetch_local_aetitle(XmTree* tree, const char* text, uint32_t* flags, UL_APTitle* apTitle,
                               UL_AEQual* aeQualifier);
// Advances `text` to the "{": 1, or 0 when there is none.
int32_t set_up_ae_title(const char** text);
// Number of arcs from the "{" on up to the "}", or -1 when the text ends
// first.
int32_t objid_len(const char* text);
// Reads the oid->count arcs that follow the "{" into an array of `tree`.
int32_t store_id_elements(XmTree* tree, const char* text, ObjIdV* oid);
// 1 and the qualifier when a number follows the "}", else 0.
int32_t get_ae_qual(const char* text, int64_t* qualifier);
int32_t DIFfetch_local_nserv(XmTree* tree, const char* text, int32_t* out);
int32_t DIFfetch_local_tclass(XmTree* tree, const char* text, int32_t* out);

// ---- Directory-file scanners ----
// They read a text file in pieces of kDifTextSize octets into `buffer`
// (kDifTextSize octets), skipping blank lines and lines beginning with '#'.

// 1 at the first line that begins with `name` followed by white space (an
// empty name matches the first entry line); 0 at end of file.
int32_t DIFpass_to_after_entry(const char* name, FILE* file, char* buffer);
// 0 at the first line whose "{ arcs } qualifier" equal the record's AP title
// (object identifier form) and AE qualifier (integer form); DIF_BAD_VALUE at
// end of file or at a line without "{".
int32_t DIFpass_to_after_title(const UL_AEId* title, FILE* file, char* buffer);
// The next decimal arc of `*text` (advanced past it), or -1 at the "}" or at
// anything that is not a number.
int64_t getObjId(const char** text);
