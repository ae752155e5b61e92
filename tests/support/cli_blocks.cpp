#include "support/cli_blocks.h"

#include <gtest/gtest.h>

#include "src/acse/gidu_queue.h"
#include "src/rda/rda_gidu.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/runtime/xm.h"

void CliBlocksTest::SetUp() {
  XmCountTest::SetUp();
  env.tag = RDA_CLI_TAG_HENV;
  al_selfLink(&env.tmpl);
  env.tmpl.ue = &env;
  conn.tag = RDA_CLI_TAG_HDBC;
  conn.env = &env;
  conn.numericFormat = 1;
  conn.tmpl = rda_createTemplateGidu(&env, &conn, &fakeUcb_, nullptr);
  ASSERT_NE(conn.tmpl, nullptr);
  RDA_cliInitErrorList(&env.errors);
  RDA_cliInitErrorList(&conn.errors);
  RDA_cliRingInit(&conn.stmts);
  stmt.tag = RDA_CLI_TAG_HSTMT;
  stmt.conn = &conn;
  stmt.opId = 5;
  stmt.tree = _xm_allocTree(nullptr);
  ASSERT_NE(stmt.tree, nullptr);
  RDA_cliInitErrorList(&stmt.errors);
  RDA_cliRingInit(&stmt.cols);
  RDA_cliRingInit(&stmt.params);
  RDA_cliRingInit(&stmt.paramDescs);
  RDA_cliRingAppend(&conn.stmts, &stmt.links);
  for (const void* b : {static_cast<const void*>(&env), static_cast<const void*>(&conn),
                        static_cast<const void*>(&stmt)})
    ASSERT_EQ(RDA_cliLinkBlock(b), 1);
}

void CliBlocksTest::TearDown() {
  for (const void* b : {static_cast<const void*>(&env), static_cast<const void*>(&conn),
                        static_cast<const void*>(&stmt)})
    RDA_cliUnlinkBlock(b);
  for (RDA_CliErrorList* l : {&env.errors, &conn.errors, &stmt.errors}) RDA_cliClearErrorList(l);
  RDA_cliPurgeEventQueue(&env.tmpl);
  RDA_cliPurgeEventQueue(conn.tmpl);
  al_deleteGidu(conn.tmpl);
  _xm_freeTree(stmt.resultTree);
  _xm_freeTree(stmt.tree);
  xm_releaseKeptPages();
  XmCountTest::TearDown();
}
