// find, select, put and sort on blocks, and the set-operation natives, run
// as Zem code.
#include "search_cases.h"

namespace {

class BlockSearch : public search_cases::Fixture {};

TEST_F(BlockSearch, Smoke) {
    check({
        {"find [a b c] [b c]", "[b c]"},
        {"sort [c B a]", "[a B c]"},
        {"unique [1 2 2 1]", "[1 2]"},
        {"m: #[a: 1] m/b: 2 m", "#[\n    a: 1\n    b: 2\n]"},
        {"select m 'a", "1"},
        {"sort/compare [3 1 2] func [a b][a < b]", "[1 2 3]"},
    });
}

}  // namespace
