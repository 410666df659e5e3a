// refinement!: a word written with a leading slash (`/a`), naming an option
// of a function.
#include "datatypes/refinement.h"

#include "datatypes/word.h"
#include "evaluator/symbol.h"

namespace refinement {

Cell* push(const Cell* word) { return word::push(word, TYPE_REFINEMENT); }

Cell* push_local(Node ctx, int32_t index) { return word::push_local(ctx, index, TYPE_REFINEMENT); }

Cell* make_root(const char* text) {
    uint32_t symbol = symbol::make(text);
    Cell* c = alloc_tail(&memory::root_block);
    *c = Cell{TYPE_REFINEMENT, 0, symbol, static_cast<uint32_t>(-1)};
    return c;
}

}  // namespace refinement
