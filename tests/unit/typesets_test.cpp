// The C++ typeset masks: each of ZEM_TYPESETS holds exactly the members of
// the boot library's typeset of the same name, and ids past the masks are in
// none.
#include "booted.h"

#include "app/top_level.h"
#include "datatypes/typeset.h"
#include "evaluate.h"
#include "runtime/typesets.h"

namespace {

class BootTypesets : public booted::Runtime {
protected:
    void SetUp() override {
        booted::Runtime::SetUp();
        top_level::run();
    }
};

struct Entry {
    const char* name;
    typesets::Mask mask;
};

constexpr Entry entries[] = {
#define X(name, text, ...) {text, name},
    ZEM_TYPESETS(X)
#undef X
};

TEST_F(BootTypesets, MasksEqualTheLibrarysTypesets) {
    for (const Entry& e : entries) {
        test_eval::Result r = test_eval::evaluate(e.name);
        ASSERT_EQ(r.kind, test_eval::Result::value) << e.name;
        ASSERT_EQ(r.cell.type(), TYPE_TYPESET) << e.name;
        for (uint32_t t = 0; t < typeset::BITS; ++t)
            EXPECT_EQ(in(e.mask, t), typeset::has_q(&r.cell, t)) << e.name << " type id " << t;
    }
}

TEST(TypesetMasks, IdsPastTheMaskAreInNoSet) {
    for (uint32_t t : {64u, 65u, 127u, 255u, 0xFFFFFFFFu}) EXPECT_FALSE(in(typesets::Mask{~uint64_t{0}}, t)) << t;
    EXPECT_TRUE(in(ANY_BLOCK, TYPE_LIT_PATH));
    EXPECT_FALSE(in(ANY_LIST, TYPE_PATH));
}

}  // namespace
