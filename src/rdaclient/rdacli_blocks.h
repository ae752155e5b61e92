// The process-wide set of live control blocks of the RDA client. A handle
// passed to an rda_cli* call is trusted only when it is in the set: a freed
// block, or any other pointer, is refused without a read of its memory.
#pragma once

#include <cstdint>

// Enters a block (its tag already written): 1, or 0 when memory is short.
int32_t RDA_cliLinkBlock(const void* block);
// Takes a block out before it is freed.
void RDA_cliUnlinkBlock(const void* block);
// True when `block` is live and carries `tag`.
bool RDA_cliIsLiveBlock(const void* block, uint32_t tag);

// The block as its type when live with `tag`, else NULL.
template <class Block>
Block* RDA_cliBlock(Block* block, uint32_t tag) {
  return RDA_cliIsLiveBlock(block, tag) ? block : nullptr;
}
