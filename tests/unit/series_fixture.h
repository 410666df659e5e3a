// A fixture with the memory manager up (one node frame, one series frame,
// no automatic collection) and torn down after each test.
#pragma once
#include <gtest/gtest.h>

#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/sys.h"

class SeriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::set_params();
        memory::alloc_node_frame(memory::NODE_FRAME_NODES);
        memory::alloc_series_frame();
        collector::active = 0;
    }
    void TearDown() override {
        memory::free_all();
        sys::free_all();
    }
};
