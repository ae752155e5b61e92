#include "src/runtime/dif.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "src/acse/al_trace.h"
#include "src/asn1/ul_types.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "support/recordset.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> gLines;
void captureLine(uint32_t, const char* text) { gLines.emplace_back(text); }

std::vector<uint8_t> octets(const OctStgV& v) { return {v.octets, v.octets + v.length}; }
std::vector<uint32_t> arcs(const ObjIdV& v) { return {v.arcs, v.arcs + v.count}; }

// A record set in a temporary working directory holding mirodel.ini and a
// schema folder with qvdrd.ini; MIRODEL_INI and HOME are unset. The lines
// the application layer's module traces are captured.
class Directory : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    fs::create_directories(dir_ / "schema");
    tree_ = _xm_allocTree(nullptr);

    savedHeader_ = bConfigInfoTraced;
    bConfigInfoTraced = 1;
    ASSERT_EQ(tm_init(1), 1);
    al_comTMHandle = tm_open("AL  : ", "al");
    tm_setMask(al_comTMHandle, 0xFF);
    ASSERT_EQ(tm_register(1024, captureLine), 1);
    gLines.clear();
  }
  void TearDown() override {
    tm_shutdown();
    tmOutFunc = nullptr;
    al_comTMHandle = -1;
    bConfigInfoTraced = savedHeader_;
    RecordSetTest::TearDown();
  }
  // mirodel.ini with `extra` after its [COMMON] section, and qvdrd.ini.
  void configure(const std::string& extra, const std::string& drd = "") {
    std::ofstream("mirodel.ini") << "[COMMON]\nqv_root=/opt/q\nSchemapath=" << (dir_ / "schema").string() << "/\n"
                                 << extra;
    std::ofstream(dir_ / "schema/qvdrd.ini") << drd;
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, "./mirodel.ini"), 1);
    QvResetCachedAddrList();
  }
  bool traced(const std::string& text) const {
    for (const std::string& l : gLines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME"};
  const fs::path& dir_ = sandbox_.dir();
  XmTree* tree_ = nullptr;
  int32_t savedHeader_ = 0;
  UL_AEId ae_{};
};

TEST_F(Directory, ServerEntryFromTheMainConfiguration) {
  configure("[SERVER]\nport=3000\n");
  ASSERT_EQ(dif_fetch_local(tree_, "qvserver", &ae_, nullptr), DIF_OK);
  const UL_Paddress& pa = ae_.pAddress;
  EXPECT_EQ(pa.mask, UL_PADDR_PSEL | UL_PADDR_SSEL | UL_PADDR_TSEL);
  EXPECT_EQ(octets(pa.tSel), (std::vector<uint8_t>{0x0B, 0xB8}));
  EXPECT_EQ(octets(pa.pSel), (std::vector<uint8_t>{0x44, 0xBB}));
  EXPECT_EQ(octets(pa.sSel), (std::vector<uint8_t>{0x44, 0xCC}));
  ASSERT_EQ(pa.nAddrs.count, 1u);
  const auto* node = reinterpret_cast<const UL_NaddrEntry*>(pa.nAddrs.links.next);
  EXPECT_EQ(node->links.next, &pa.nAddrs.links);
  EXPECT_EQ(octets(node->addr), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(ae_.mask, UL_AEID_APTITLE | UL_AEID_AEQUAL | UL_AEID_NSERVICE | UL_AEID_TCLASS);
  EXPECT_EQ(ae_.apTitle.kind, UL_TITLE_OBJID);
  EXPECT_EQ(arcs(ae_.apTitle.objId), (std::vector<uint32_t>{1, 3, 9999, 42, 7}));
  EXPECT_EQ(ae_.aeQual.kind, UL_QUAL_INTEGER);
  EXPECT_EQ(ae_.aeQual.integer, 0);
  EXPECT_EQ(ae_.nService, 0);
  EXPECT_EQ(ae_.tClass, 4);
}

TEST_F(Directory, PortTextsInDecimalAndHexadecimal) {
  const struct {
    const char* port;
    std::vector<uint8_t> tsel;
  } cases[] = {
      {"0x1F90", {0x1F, 0x90}}, {"0X1f90", {0x1F, 0x90}}, {"5000", {0x13, 0x88}},
      {"010", {0x00, 0x0A}},    {"port", {0x00, 0x00}},
  };
  for (const auto& c : cases) {
    configure(std::string("[SERVER]\nport=") + c.port + "\n");
    ASSERT_EQ(dif_fetch_local(tree_, "qvserver", &ae_, nullptr), DIF_OK) << c.port;
    EXPECT_EQ(octets(ae_.pAddress.tSel), c.tsel) << c.port;
  }
}

TEST_F(Directory, ClientEntryUsesTheClientPort) {
  configure("[CLIENT]\nport=2000\n");
  ASSERT_EQ(dif_fetch_local(tree_, "qvclient", &ae_, nullptr), DIF_OK);
  EXPECT_EQ(octets(ae_.pAddress.tSel), (std::vector<uint8_t>{0x07, 0xD0}));
  EXPECT_TRUE(traced("dif_get_aedata(): PORT 2000 is set for Database:qvclient\n"));
}

TEST_F(Directory, MissingPortsGiveNoEntry) {
  configure("[CLIENT]\nport=\n", "[sales]\nADDRESS=10.0.0.1\n");
  EXPECT_EQ(dif_fetch_local(tree_, "qvserver", &ae_, nullptr), DIF_NO_ENTRY);
  EXPECT_TRUE(traced("dif_get_aedata(): PORT is not set for Server:qvserver\n"));
  EXPECT_EQ(dif_fetch_local(tree_, "qvclient", &ae_, nullptr), DIF_NO_ENTRY);
  EXPECT_TRUE(traced("dif_get_aedata(): PORT is not set for Client:qvclient\n"));
  EXPECT_EQ(dif_fetch_local(tree_, "sales", &ae_, nullptr), DIF_NO_ENTRY);
  EXPECT_TRUE(traced("dif_get_aedata(): PORT is not set for Database:sales\n"));
}

TEST_F(Directory, ResourceAddressesBecomeOneNetworkAddressWithBlankSeparators) {
  configure("", "[sales]\nPORT=5000\nADDRESS=10.0.0.1 10.0.0.2\n");
  ASSERT_EQ(dif_fetch_local(tree_, "sales", &ae_, nullptr), DIF_OK);
  EXPECT_EQ(octets(ae_.pAddress.tSel), (std::vector<uint8_t>{0x13, 0x88}));
  const auto* node = reinterpret_cast<const UL_NaddrEntry*>(ae_.pAddress.nAddrs.links.next);
  EXPECT_EQ(octets(node->addr), (std::vector<uint8_t>{10, 0, 0, 1, 0x20, 10, 0, 0, 2}));
  EXPECT_TRUE(traced("dif_get_aedata(): PORT 5000 is set for Database:sales\n"));
}

TEST_F(Directory, ResourceKeysComeFromTheConnectionStringWhenTheFileHasNone) {
  configure("", "[other]\nPORT=1\n");
  ASSERT_EQ(dif_fetch_local(tree_, "sales", &ae_, "DSN=x;PORT=0x0102;ADDRESS=192.168.7.9"), DIF_OK);
  EXPECT_EQ(octets(ae_.pAddress.tSel), (std::vector<uint8_t>{0x01, 0x02}));
  const auto* node = reinterpret_cast<const UL_NaddrEntry*>(ae_.pAddress.nAddrs.links.next);
  EXPECT_EQ(octets(node->addr), (std::vector<uint8_t>{192, 168, 7, 9}));
}

TEST_F(Directory, HostNamesAreResolvedInTheirPlace) {
  char* p = nullptr;
  char* s = nullptr;
  char* n = nullptr;
  char* t = nullptr;
  char* ae = nullptr;
  char* ns = nullptr;
  char* tc = nullptr;
  configure("", "[sales]\nPORT=5000\nADDRESS=10.0.0.1   localhost 127.2\n");
  ASSERT_EQ(dif_get_aedata(tree_, "sales", &p, &s, &n, &t, &ae, &ns, &tc, nullptr), DIF_OK);
  EXPECT_STREQ(n, "10.0.0.1 127.0.0.1 127.0.0.2");
  EXPECT_STREQ(p, "0x44BB");
  EXPECT_STREQ(s, "0x44CC");
  EXPECT_STREQ(t, "5000");
  EXPECT_STREQ(ae, "{ 1 3 9999 42 7} 0");
  EXPECT_STREQ(ns, "");
  EXPECT_STREQ(tc, "");
}

TEST_F(Directory, UnresolvableHostNameGivesNoEntry) {
  configure("", "[sales]\nPORT=5000\nADDRESS=10.0.0.1 no-such-host.invalid\n");
  EXPECT_EQ(dif_fetch_local(tree_, "sales", &ae_, nullptr), DIF_NO_ENTRY);
  EXPECT_TRUE(traced("dif_get_aedata(): Could not convert hostname no-such-host.invalid to ip address\n"));
}

TEST_F(Directory, MissingAddressGivesNoEntry) {
  configure("", "[sales]\nPORT=5000\n");
  EXPECT_EQ(dif_fetch_local(tree_, "sales", &ae_, nullptr), DIF_NO_ENTRY);
  EXPECT_TRUE(traced("dif_get_aedata(): ADDRESS is not set for Database:sales\n"));
}

TEST_F(Directory, ResolvedListLongerThanTheTextGivesNoEntry) {
  // 16 short names, each resolved to a longer address: 95 characters become
  // 159, more than the 127 the text holds.
  std::string list;
  for (int i = 0; i < 16; ++i) list += (i > 0 ? " " : "") + std::string("127.1");
  configure("", "[sales]\nPORT=5000\nADDRESS=" + list + "\n");
  EXPECT_EQ(dif_fetch_local(tree_, "sales", &ae_, nullptr), DIF_NO_ENTRY);
  EXPECT_TRUE(traced("dif_get_aedata(): ADDRESS list of Database:sales does not fit in 127 characters\n"));
}

TEST_F(Directory, AddressValueLongerThanTheTextGivesNoEntryAndIsNotCached) {
  std::string list;
  for (int i = 0; i < 10; ++i) list += (i > 0 ? " " : "") + std::string("10.10.10.") + std::to_string(100 + i);
  ASSERT_GT(list.size(), 127u);
  configure("", "[sales]\nPORT=5000\nADDRESS=" + list + "\n");
  EXPECT_EQ(dif_fetch_local(tree_, "sales", &ae_, nullptr), DIF_NO_ENTRY);
  EXPECT_TRUE(traced("dif_get_aedata(): ADDRESS of Database:sales is longer than 127 characters\n"));
  EXPECT_STREQ(QvGetCachedAddrList(), "");
  EXPECT_EQ(dif_fetch_local(tree_, "sales", &ae_, nullptr), DIF_NO_ENTRY) << "a cut list is never used";
}

TEST_F(Directory, EmptyNameIsRejected) {
  configure("");
  EXPECT_EQ(dif_fetch_local(tree_, "", &ae_, nullptr), DIF_BAD_VALUE);
  EXPECT_EQ(dif_fetch_local(tree_, nullptr, &ae_, nullptr), DIF_BAD_VALUE);
}

TEST_F(Directory, DottedAddressCheck) {
  const struct {
    const char* text;
    int32_t valid;
  } cases[] = {
      {"255.255.255.255", 1}, {"0.0.0.0", 1},    {"00.00.00.00", 1}, {"10.0.0.1", 1},
      {"256.1.1.1", 0},       {"299.1.1.1", 0},  {"1.2.3", 0},       {"1.2.3.4.5", 0},
      {"1.2.3.", 0},          {".1.2.3", 0},     {"1..2.3", 0},      {"1.2.3.0001", 0},
      {"1.2.3.4 ", 0},        {"a.b.c.d", 0},    {"", 0},            {"localhost", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(checkAddr(c.text), c.valid) << c.text;
  EXPECT_EQ(checkAddr(nullptr), 0);
  EXPECT_TRUE(traced("checkAddr(): '255.255.255.255' was determined to be a valid IP addess"));
  EXPECT_TRUE(traced("checkAddr(): '256.1.1.1' was determined to not be a valid IP addess"));
}

TEST_F(Directory, SelectorTexts) {
  const struct {
    const char* text;
    int32_t n;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"0x44BB", 2, {0x44, 0xBB}}, {"44bb", 2, {0x44, 0xBB}},   {"0X0a1B", 2, {0x0A, 0x1B}},
      {"\"AB\"", 2, {'A', 'B'}},   {"\"A B\"x", 3, {'A', ' ', 'B'}}, {"\"open", 4, {'o', 'p', 'e', 'n'}},
      {"0x", 0, {}},               {"0x44B", -1, {}},           {"0x4G", -1, {}},
      {"44 BB", -1, {}},
  };
  for (const auto& c : cases) {
    uint8_t out[kDifTextSize] = {};
    ASSERT_EQ(DIFcvt_val(c.text, out, sizeof out), c.n) << c.text;
    if (c.n > 0) {
      EXPECT_EQ(std::vector<uint8_t>(out, out + c.n), c.bytes) << c.text;
    }
  }
  uint8_t small[2];
  EXPECT_EQ(DIFcvt_val("0x112233", small, sizeof small), -1);
  EXPECT_EQ(DIFcvt_val("\"abc\"", small, sizeof small), -1);
  EXPECT_EQ(DIFhexval('f'), 15);
  EXPECT_EQ(DIFhexval('g'), -1);
}

TEST_F(Directory, PresentationAddressConversion) {
  UL_Paddress pa{};
  EXPECT_EQ(DIFfetch_local_addr(tree_, "0x44B", "0x44CC", "1.2.3.4", "1", &pa), DIF_BAD_VALUE);
  EXPECT_EQ(DIFfetch_local_addr(tree_, "0x44BB", "zz", "1.2.3.4", "1", &pa), DIF_BAD_VALUE);
  EXPECT_EQ(DIFfetch_local_addr(tree_, "", "", "", "1", &pa), DIF_BAD_VALUE);
  EXPECT_EQ(DIFfetch_local_addr(tree_, "", "", "1.2.3.4 5.6.7", "1", &pa), DIF_BAD_VALUE);
  EXPECT_EQ(DIFfetch_local_addr(tree_, "", "", "1.2.3.x", "1", &pa), DIF_BAD_VALUE);

  ASSERT_EQ(DIFfetch_local_addr(tree_, "", "", " 1.2.3.4  5.6.7.8 ", "", &pa), DIF_OK);
  EXPECT_EQ(pa.mask, 0u);
  const auto* node = reinterpret_cast<const UL_NaddrEntry*>(pa.nAddrs.links.next);
  EXPECT_EQ(octets(node->addr), (std::vector<uint8_t>{1, 2, 3, 4, 0x20, 5, 6, 7, 8}));

  ASSERT_EQ(DIFfetch_local_addr(tree_, "\"P\"", "", "1.2.3.4", "", &pa), DIF_OK);
  EXPECT_EQ(pa.mask, UL_PADDR_PSEL);
  EXPECT_EQ(octets(pa.pSel), (std::vector<uint8_t>{'P'}));
}

TEST_F(Directory, AeTitleTexts) {
  const struct {
    const char* text;
    int32_t result;
    std::vector<uint32_t> arcs;
    int64_t qualifier;
    uint32_t mask;
  } cases[] = {
      {"{ 1 3 9999 42 7} 0", DIF_OK, {1, 3, 9999, 42, 7}, 0, UL_AEID_APTITLE | UL_AEID_AEQUAL},
      {"x {4294967295}\t12", DIF_OK, {4294967295u}, 12, UL_AEID_APTITLE | UL_AEID_AEQUAL},
      {"{1 2} -1", DIF_OK, {1, 2}, -1, UL_AEID_APTITLE},
      {"{ } 3", DIF_OK, {}, 3, UL_AEID_AEQUAL},
      {"1 2} 0", DIF_BAD_VALUE, {}, 0, 0},
      {"{1 2 0", DIF_BAD_VALUE, {}, 0, 0},
      {"{1 x} 0", DIF_BAD_VALUE, {}, 0, 0},
      {"{1 4294967296} 0", DIF_BAD_VALUE, {}, 0, 0},
      {"{1 2}", DIF_BAD_VALUE, {}, 0, 0},
      {"{1 2} q", DIF_BAD_VALUE, {}, 0, 0},
      {"{1 2} 99999999999", DIF_BAD_VALUE, {}, 0, 0},
  };
  for (const auto& c : cases) {
    UL_APTitle title{};
    UL_AEQual qual{};
    uint32_t mask = 0;
    ASSERT_EQ(DIFfetch_local_aetitle(tree_, c.text, &mask, &title, &qual), c.result) << c.text;
    if (c.result != DIF_OK) continue;
    EXPECT_EQ(mask, c.mask) << c.text;
    EXPECT_EQ(title.kind, UL_TITLE_OBJID);
    EXPECT_EQ(arcs(title.objId), c.arcs) << c.text;
    EXPECT_EQ(qual.kind, UL_QUAL_INTEGER);
    EXPECT_EQ(qual.integer, c.qualifier) << c.text;
  }
}

TEST_F(Directory, NetworkServiceAndTransportClassTexts) {
  int32_t v = -9;
  EXPECT_EQ(DIFfetch_local_nserv(tree_, "", &v), DIF_OK);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(DIFfetch_local_nserv(tree_, "2", &v), DIF_OK);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(DIFfetch_local_nserv(tree_, "3", &v), DIF_BAD_VALUE);
  EXPECT_EQ(DIFfetch_local_tclass(tree_, "abc", &v), DIF_OK);
  EXPECT_EQ(v, 4);
  EXPECT_EQ(DIFfetch_local_tclass(tree_, "0", &v), DIF_OK);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(DIFfetch_local_tclass(tree_, "5", &v), DIF_BAD_VALUE);
  EXPECT_EQ(DIFfetch_local_tclass(tree_, "-1", &v), DIF_BAD_VALUE);
}

TEST_F(Directory, DirectoryFileScanners) {
  {
    std::ofstream f("dir.txt");
    f << "# comment\n\n   \nqvserverX {9} 1\n  qvserver\t{1 3 9999 42 7} 0\n{1 2 3} 5\n{1 2} 7\n";
  }
  char buffer[kDifTextSize];
  FILE* f = std::fopen("dir.txt", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(DIFpass_to_after_entry("qvserver", f, buffer), 1);
  EXPECT_EQ(std::strncmp(buffer, "  qvserver\t", 11), 0);
  EXPECT_EQ(DIFpass_to_after_entry("qvclient", f, buffer), 0);
  std::rewind(f);
  EXPECT_EQ(DIFpass_to_after_entry("", f, buffer), 1);
  EXPECT_EQ(std::strncmp(buffer, "qvserverX", 9), 0);

  UL_AEId want{};
  uint32_t title[] = {1, 2};
  want.apTitle.kind = UL_TITLE_OBJID;
  want.apTitle.objId = {2, title};
  want.aeQual.kind = UL_QUAL_INTEGER;
  want.aeQual.integer = 7;
  std::rewind(f);
  EXPECT_EQ(DIFpass_to_after_title(&want, f, buffer), DIF_OK);
  EXPECT_STREQ(buffer, "{1 2} 7\n");
  want.aeQual.integer = 8;
  std::rewind(f);
  EXPECT_EQ(DIFpass_to_after_title(&want, f, buffer), DIF_BAD_VALUE);
  std::fclose(f);

  const char* text = " 12 7}";
  EXPECT_EQ(getObjId(&text), 12);
  EXPECT_EQ(getObjId(&text), 7);
  EXPECT_EQ(getObjId(&text), -1);
  EXPECT_STREQ(text, "}");
}

}  // namespace
