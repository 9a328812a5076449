// The three-word Montgomery code of processors without code of their own:
// selection by masks, and no carry-chain kernels.
#include "dh/montgomery.h"

namespace dessec::mont {

void select_entry_3(word *entry, const word (*table)[3], word index)
{
    select_by_masks<3>(entry, table, index);
}

const carry_chain_kernels *processor_carry_chains()
{
    return nullptr;
}

}  // namespace dessec::mont
