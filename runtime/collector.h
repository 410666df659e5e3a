// The garbage collector: a stop-the-world mark-and-compact collector over
// the memory manager's series frames, big series and node frames.
//
// Roots are the root block, the series-ownership table, the stack buffers,
// the global and library contexts, the cell table, and what the modules
// above register to mark (the symbol table, the stacks' contents, ...).
// The C++ stack is scanned conservatively: a 32-bit word equal to a live
// node handle marks and pins that node (neither its buffer nor the node
// moves this cycle); an 8-byte word pointing into a series buffer marks and
// pins the buffer. So runtime code may keep nodes and raw buffer addresses
// in locals across any allocation; raw addresses kept anywhere else must be
// read again.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

struct Cell;

namespace collector {

// Automatic collection runs only while this is exactly 1; 0 until the
// library's top level begins.
extern uint32_t active;
// Collect at every series allocation (when active), moving every unpinned
// buffer and node and filling vacated space with 0xDB: set once at start-up
// from the environment variable ZEM_GC_STRESS, non-empty and not "0".
extern bool stress;
// Set while the boot image's top level runs.
extern bool booting;
// With the stress switch, whether this allocation collects: every one, but
// only every 64th while the library boots (the same work in every process;
// ZEM_GC_STRESS=boot collects at each of those too, for the test that
// checks the boot itself under stress). ZEM_GC_STRESS=n, a number above 1,
// collects at every n-th allocation after the boot, for the tests whose
// library code allocates too much to collect at each.
bool stress_due();
// Number of cycles run; a new node frame keeps it as its stamp.
extern uint32_t cycles;
// Number of cycles that moved nodes; tables keyed by node handles compare it
// with their stamp to learn that they must rehash.
extern uint32_t relocations;
// 1 while cycles may plan node compaction; hash-table growth clears it for
// its duration.
extern uint32_t relocation_allowed;
// Nanoseconds spent in cycles since start-up (for benchmarks).
extern uint64_t busy_ns;
// True while a cycle runs.
extern bool running;
// A node frame must have been stable for depth + 1 cycles to be evacuated.
extern uint32_t history_depth;

// Places of roots that later modules provide; null (or 0) until they exist.
// The global context node, marked as a context.
extern Node* global_context;
// The library's context (the library's own copy of the global values).
extern Node* library_context;
// The series-ownership table, held weakly: swept of the entries whose key
// or owner did not survive, then its other entries are marked.
extern Node* ownership_table;
// The symbol of `self`: a word with it marks its context as a block.
extern uint32_t self_symbol;
// Marks what an image! value refers to besides its node (its bitmap's
// external slot); called with the image record's node.
extern void (*mark_image)(Node record);

// Reads the stress switch from the environment.
void static_init();
// Counters to 0, history depth 5; the last step of runtime start-up.
void init();
// One whole collection.
void do_cycle();
// do_cycle when the active flag is 1; called only by the series allocator.
void collect_if_active();

// Where a registered marking function runs among the fixed roots: right
// after the root block, right after the stack buffers, or after all of them.
enum class MarkOrder : uint8_t { AFTER_ROOT_BLOCK, AFTER_STACK_BUFFERS, LAST };

// Appends a function run at every cycle while roots are marked, at its place
// and in registration order there (a function registered twice runs once);
// it marks what its subsystem keeps with the functions below.
void register_mark_callback(void (*callback)(), MarkOrder order = MarkOrder::LAST);

// ---- Marking (only while a cycle runs) --------------------------------------------

// Marks the node held at `place`, first rewriting the place when the node
// moved this cycle. True when it was not yet marked. 0 and handles that are
// not live nodes are ignored (false).
bool mark_node(Node* place);
// Marks every cell in [first, end) by its datatype.
void mark_block(Cell* first, Cell* end);
// Marks the node; when newly marked, its cells from head to tail too.
void mark_block_node(Node* place);
void mark_block_value(Cell* block);
// Marks a context: its node, and (when newly marked) its word table, its
// values unless they live on the value stack, and its self cell.
void mark_context(Node* place);
// Marks a hash table and everything it refers to.
void mark_table(Node* place);
// Whether the node's buffer is marked in the current cycle.
bool marked_q(Node node);

// Queues a node for release at the end of the cycle (0 is ignored).
void defer_free_node(Node node);

}  // namespace collector
