// Writing text to standard output, as the console calls it: the writer and
// escape interpreter of the platform layer, and the byte writes that also
// reach the C-string print hooks.
#pragma once
#include "platform/output.h"
#include "runtime/print.h"

namespace console {

using platform::output::DEFAULT_ATTRIBUTE;
using platform::output::init;
using platform::output::output_is_terminal;
using platform::output::set_terminal;
using platform::output::save_attributes;
using sys::write_bytes;
using sys::write_cstring;
using platform::output::print_latin1;
using platform::output::print_ucs2;
using platform::output::write_ucs4;
using platform::output::print_latin1_line;
using platform::output::print_ucs2_line;
using platform::output::print_ucs4_line;
using platform::output::flush;
using platform::output::column;
using platform::output::cursor_moved;
using platform::output::attribute;
using platform::output::default_attribute;
using platform::output::set_attribute;
using platform::output::apply_sgr;
using platform::output::render_attribute;
using platform::output::ansi_escape;

}  // namespace console
