// The decode tree of a parse, the compare and copy helpers of the value types
// shared by every codec (declared with the naming records in
// src/runtime/ul_names.h), and two small codec pairs (a raw number and
// pre-encoded octets).
//
// Everything a parse pass allocates lies in the calling thread's decode tree,
// an XM tree held in its XmTLS record; the receiver takes the tree with
// aagetlist and releases all of it with one aafreeall. Sub-lists are trees
// below it; while one is open it is the current decode tree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "src/runtime/ul_names.h"  // ObjId, ObjIdV, OctStg, OctStgV, BitStgV

struct XmTree;
struct AaDecodeTree;  // the XmTree in the XmTLS slot; only its name is used

// Decode tree (all on the calling thread's XmTLS).
void* aamalloc(uint64_t n);
void* aamallocFromPage(uint64_t n);
XmTree* aagetlist();
void aafreeall(XmTree* tree);
void aafreeall(AaDecodeTree* tree);
void aafreeall(void* item);
inline void aafreeall(std::nullptr_t) {}
XmTree* aaStartSubList();
XmTree* aaEndSubList();
void aaFreeSubList();

// Compare: 1 = equal, 0 = different. Copy: 1 = done, 0 = no memory.
int32_t ul_objidcmp(const ObjId* a, const ObjId* b);
int32_t ul_objidcpy(ObjId* dst, const ObjId* src);
int32_t ul_objidvcmp(const ObjIdV* a, const ObjIdV* b);
int32_t ul_objidvcpy(ObjIdV* dst, const ObjIdV* src, XmTree* tree);
ObjIdV* ul_objidvcpyRetPtr(const ObjIdV* src, XmTree* tree);
int32_t ul_octstgvcmp(const OctStgV* a, const OctStgV* b);
int32_t ul_octstgvcpy(OctStgV* dst, const OctStgV* src, XmTree* tree);
OctStgV* ul_octstgvcpyRetPtr(const OctStgV* src, XmTree* tree);
int32_t ul_octstgcmp(const OctStg* a, const OctStg* b);
int32_t ul_bitscpy(BitStgV* dst, const BitStgV* src, XmTree* tree);

// A number carried raw in up to four content octets.
uint32_t aGenericPtr();
int64_t fGenericPtr(uint32_t v);
// Pre-encoded octets passed through: the parse copies the current element's
// contents length of octets; the format writes the first p[2] * 256 + p[3]
// octets of the block.
uint8_t* aPerm();
int64_t fPerm(const uint8_t* p);
