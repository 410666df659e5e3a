// The natives that reach the operating system and the runtime's services:
// now, wait, the environment, to-local-file, size?, checksum, compress and
// decompress, call and browse.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/file.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "natives/native_support.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"
#include "services/call.h"
#include "services/checksum.h"
#include "services/compress.h"

extern char** environ;

namespace natives {

namespace {

// The UTF-8 text of a string (from its index) or of a word's spelling.
std::string text_of(const Cell* v) {
    if (in(ALL_WORD, v->type())) {
        uint32_t n = 0;
        const char* t = symbol::text(v->symbol(), &n);
        return std::string(t, n);
    }
    std::vector<uint8_t> bytes;
    binary::collect_bytes(v, false, 0, false, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// A new string! from UTF-8 bytes.
Cell string_of(const std::string& text) {
    Cell* s = string::rs_make_at(stack::push_slot(), static_cast<uint32_t>(text.size()));
    string::append_utf8(s, text.data(), static_cast<uint32_t>(text.size()));
    Cell r = *s;
    stack::pop(1);
    return r;
}

// Whether the symbol is (a case variant of) the spelling.
bool is_word(uint32_t symbol, const char* spelling) {
    return symbol::resolve(symbol) == symbol::resolve(symbol::make(spelling));
}

// A refinement! of the spelling, for error arguments.
Cell refinement_of(const char* spelling) {
    Cell r{};
    word::make_at(symbol::make(spelling), &r);
    set_type(&r, TYPE_REFINEMENT);
    return r;
}

// Feeds the whole content of a file to the checksum; access cannot-open
// with the file when it cannot be read.
void checksum_file(const Cell* file, checksum::Running& sum) {
    if (!checksum::update_from_file(sum, file::to_os_path(file).c_str())) fire(err::CANNOT_OPEN, file);
}

}  // namespace

// ---- Time ---------------------------------------------------------------------------------

// now /year /month /day /time /zone /date /weekday /yearday /precise /utc
Unwind n_now(bool, const int32_t* refs) {
    enum { YEAR, MONTH, DAY, TIME, ZONE, DATE, WEEKDAY, YEARDAY, PRECISE, UTC };
    int given = 0;
    for (int i = YEAR; i <= PRECISE; ++i) given += refs[i] >= 0;
    if (given > 1 && !(given == 2 && refs[TIME] >= 0 && refs[PRECISE] >= 0)) fire(err::BAD_REFINES);
    bool utc = refs[UTC] >= 0;
    uint32_t packed = sys::get_date(utc);
    double time = 0.0;
    if (refs[DATE] >= 0) {
        packed &= ~(date::TIME_FLAG | 0x7Fu);
    } else {
        packed |= date::TIME_FLAG;
        // The stored time is the local time of day less the zone's offset:
        // the universal time, moved by a day when the local date differs
        // from the universal one.
        time = sys::get_time(refs[PRECISE] >= 0);
        double local = time + date::zone_seconds(date::zone_of(packed));
        if (local >= 86400.0)
            time -= 86400.0;
        else if (local < 0.0)
            time += 86400.0;
    }
    Cell d{TYPE_DATE, packed, 0, 0};
    d.set_float(time);
    static const struct {
        int refinement;
        int32_t field;
    } fields[] = {{YEAR, 2}, {MONTH, 3}, {DAY, 4}, {ZONE, 5}, {TIME, 6}, {WEEKDAY, 10}, {YEARDAY, 11}};
    for (const auto& f : fields)
        if (refs[f.refinement] >= 0) return result(date::field(&d, f.field));
    return result(d);
}

// wait value: sleeps for a number of seconds (integer!, float! or time!).
Unwind n_wait(bool, const int32_t*) {
    Cell* v = arg(0);
    double seconds;
    switch (v->type()) {
        case TYPE_INTEGER: seconds = v->int_value(); break;
        case TYPE_FLOAT:
        case TYPE_TIME: seconds = v->float_value(); break;
        default: fire(err::INVALID_ARG, v);
    }
    // The sleep is counted in 32-bit milliseconds: a longer one (or NaN)
    // cannot be honoured.
    if (std::isnan(seconds) || seconds > 4294967.295) fire(err::OUT_OF_RANGE, v);
    sys::sleep(seconds);
    if (sys::gui_wait_hook) sys::gui_wait_hook();
    return none_result();
}

// ---- Environment ----------------------------------------------------------------------------

Unwind n_set_env(bool, const int32_t*) {
    Cell name = *arg(0);
    Cell value = *arg(1);
    std::string n = text_of(&name);
    if (value.type() != TYPE_NONE && !in(ANY_STRING, value.type())) expect_arg(value.type(), 1);
    std::string v = value.type() == TYPE_NONE ? std::string() : text_of(&value);
    // A name that is empty or holds "=" or a NUL, or a value holding a NUL,
    // cannot be stored: say so rather than report success.
    if (n.empty() || n.find('=') != std::string::npos || n.find('\0') != std::string::npos)
        fire(err::INVALID_ARG, &name);
    if (v.find('\0') != std::string::npos) fire(err::INVALID_ARG, &value);
    if (sys::set_env(n.c_str(), value.type() == TYPE_NONE ? nullptr : v.c_str()) != 0) fire(err::INVALID_ARG, &name);
    return result(value);
}

Unwind n_get_env(bool, const int32_t*) {
    Cell name = *arg(0);
    std::string n = text_of(&name);
    if (n.find('\0') != std::string::npos) return none_result();
    std::string v;
    if (!sys::get_env(n.c_str(), v)) return none_result();
    return result(string_of(v));
}

// list-env: a map! of every variable's name and value, in the order of the
// process's environment.
Unwind n_list_env(bool, const int32_t*) {
    Cell* blk = block::make_at(stack::push_slot(), 100);
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        // The name runs to the first "=" that is not its first character.
        size_t eq = entry.find('=', 1);
        if (eq == std::string::npos) eq = entry.size();
        Cell name = string_of(entry.substr(0, eq));
        block::rs_append(blk, &name);
        Cell value = string_of(eq < entry.size() ? entry.substr(eq + 1) : std::string());
        block::rs_append(blk, &value);
    }
    Cell spec = *blk;
    Cell* proto = datatype::make_at(stack::push_slot(), TYPE_MAP);
    actions::make(proto, &spec);
    return result(*proto);
}

// ---- Files ------------------------------------------------------------------------------------

Unwind n_to_local_file(bool, const int32_t* refs) {
    Cell path = *arg(0);
    if (!in(ANY_STRING, path.type())) expect_arg(path.type(), 0);
    Cell* target = string::rs_make_at(stack::push_slot(), string::rs_length_q(&path));
    file::to_local_path(&path, target, refs[0] >= 0);
    return result(*target);
}

// size? file: the size in bytes of a file that opens for reading, else none.
Unwind n_size_q(bool, const int32_t*) {
    Cell f = *arg(0);
    if (!in(ANY_STRING, f.type())) expect_arg(f.type(), 0);
    uint32_t n = string::rs_length_q(&f);
    if (n) {
        uint32_t last = string::rs_abs_at(&f, f.head() + n - 1);
        bool dots = (n == 1 && last == '.') ||
                    (n == 2 && last == '.' && string::rs_abs_at(&f, f.head()) == '.');
        if (last == '/' || last == '\\' || dots) return none_result();
    }
    std::string path = file::to_os_path(&f);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return none_result();
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode) && st.st_size >= 0 && st.st_size <= INT32_MAX;
    ::close(fd);
    if (!ok) return none_result();
    return result(Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(st.st_size), 0});
}

// ---- Processes -----------------------------------------------------------------------------

// call cmd /wait /show /console /shell /input in /output out /error err:
// the exit status, the process id or -1. /show asks for a visible window,
// which a program here has no need of.
Unwind n_call(bool, const int32_t* refs) {
    enum { WAIT, SHOW, CONSOLE, SHELL, INPUT, OUTPUT, ERROR };
    Cell cmd = *arg(0);
    if (cmd.type() != TYPE_STRING && cmd.type() != TYPE_FILE) expect_arg(cmd.type(), 0);
    int64_t status = call::run(&cmd, refs[WAIT] >= 0, refs[CONSOLE] >= 0, refs[SHELL] >= 0, ref_arg(refs, INPUT),
                               ref_arg(refs, OUTPUT), ref_arg(refs, ERROR));
    return result(Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(static_cast<int32_t>(status)), 0});
}

// browse url-or-file: opens the target with the desktop's opener
// (xdg-open), without waiting for it. access cannot-open with the target
// when no opener can be started.
Unwind n_browse(bool, const int32_t*) {
    Cell target = *arg(0);
    if (target.type() != TYPE_URL && target.type() != TYPE_FILE) expect_arg(target.type(), 0);
    sys::ProcessRequest request;
    request.argv = {"xdg-open", target.type() == TYPE_FILE ? file::to_os_path(&target) : text_of(&target)};
    request.input.mode = request.output.mode = request.error.mode = sys::ProcessStream::Discard;
    if (sys::run_process(request) < 0) fire(err::CANNOT_OPEN, &target);
    return unset_result();
}

// ---- Checksums and compression ---------------------------------------------------------------

// checksum data method /with spec
Unwind n_checksum(bool, const int32_t* refs) {
    Cell data = *arg(0);
    Cell method = *arg(1);
    Cell* with = ref_arg(refs, 0);
    if (!in(ALL_WORD, method.type())) expect_arg(method.type(), 1);
    enum Kind { SUM, DIGEST, HASH } kind;
    int32_t algorithm = -1;
    uint32_t m = method.symbol();
    if (is_word(m, "crc32")) {
        kind = SUM, algorithm = checksum::CRC32;
    } else if (is_word(m, "tcp")) {
        kind = SUM, algorithm = checksum::TCP;
    } else if (is_word(m, "adler32")) {
        kind = SUM, algorithm = checksum::ADLER32;
    } else if (is_word(m, "md5")) {
        kind = DIGEST, algorithm = checksum::MD5;
    } else if (is_word(m, "sha1")) {
        kind = DIGEST, algorithm = checksum::SHA1;
    } else if (is_word(m, "sha256")) {
        kind = DIGEST, algorithm = checksum::SHA256;
    } else if (is_word(m, "sha384")) {
        kind = DIGEST, algorithm = checksum::SHA384;
    } else if (is_word(m, "sha512")) {
        kind = DIGEST, algorithm = checksum::SHA512;
    } else if (is_word(m, "hash")) {
        kind = HASH;
    } else {
        fire(err::INVALID_ARG, &method);
    }
    Cell with_word = refinement_of("with");
    if (with) {
        uint32_t t = with->type();
        bool key = t == TYPE_BINARY || in(ANY_STRING, t);
        if (!key && t != TYPE_INTEGER) fire(err::INVALID_ARG, with);
        if (kind == SUM) fire(err::INVALID_REFINE_ARG, &with_word, &method);
        // A table size for the hash method is not supported: refuse it
        // rather than answer a number that is no hash.
        if (kind == HASH || t == TYPE_INTEGER) fire(err::INVALID_REFINE_ARG, &with_word, with);
    } else if (kind == HASH) {
        fire(err::INVALID_REFINE_ARG, &with_word, &method);
    }
    if (data.type() != TYPE_FILE && data.type() != TYPE_BINARY && !in(ANY_STRING, data.type()))
        fire(err::INVALID_ARG, &data);
    std::optional<checksum::Running> sum;
    if (with) {
        std::vector<uint8_t> key;
        binary::collect_bytes(with, false, 0, false, key);
        sum.emplace(algorithm, key.data(), key.size());
    } else {
        sum.emplace(algorithm);
    }
    if (data.type() == TYPE_FILE) {
        checksum_file(&data, *sum);
    } else {
        std::vector<uint8_t> bytes;
        binary::collect_bytes(&data, false, 0, false, bytes);
        sum->update(bytes.data(), bytes.size());
    }
    if (kind == SUM) return result(Cell{TYPE_INTEGER, 0, sum->sum(), 0});
    checksum::Digest d = sum->digest();
    if (d.size == 0) fire(err::INVALID_DATA, &data);
    return result(*binary::load(d.bytes.data(), d.size));
}

namespace {

using Codec = compress::Result (*)(uint8_t*, uint32_t&, const uint8_t*, uint32_t);

// The codec pair of a method word (deflate, zlib or gzip); invalid-arg
// otherwise.
void codecs_of(const Cell* method, Codec* encoder, Codec* decoder) {
    if (!in(ALL_WORD, method->type())) expect_arg(method->type(), 1);
    if (is_word(method->symbol(), "deflate")) {
        *encoder = compress::deflate;
        *decoder = compress::inflate;
    } else if (is_word(method->symbol(), "zlib")) {
        *encoder = compress::zlib_compress;
        *decoder = compress::zlib_uncompress;
    } else if (is_word(method->symbol(), "gzip")) {
        *encoder = compress::gzip_compress;
        *decoder = compress::gzip_uncompress;
    } else {
        fire(err::INVALID_ARG, method);
    }
}

// Runs the codec, starting with `capacity` bytes and retrying once with the
// size it asks for. Output of 2 GB or more is refused as too long.
bool run_codec(Codec codec, const std::vector<uint8_t>& in, uint64_t capacity, std::vector<uint8_t>& out) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (capacity >= 0x80000000u) fire(err::TOO_LONG);
        out.resize(capacity);
        uint32_t size = static_cast<uint32_t>(capacity);
        compress::Result r = codec(out.data(), size, in.data(), static_cast<uint32_t>(in.size()));
        if (r == compress::OK) {
            out.resize(size);
            return true;
        }
        // Too small, or no room for an encoder's framing: the size needed
        // has been written back.
        bool retry = r == compress::TOO_SMALL || (r == compress::INVALID && size > capacity);
        if (!retry || size <= capacity) return false;
        capacity = size;
    }
    return false;
}

}  // namespace

// compress data method: raw DEFLATE, or zlib or gzip framing, of the bytes
// (a string's UTF-8).
Unwind n_compress(bool, const int32_t*) {
    Cell data = *arg(0);
    Cell method = *arg(1);
    Codec encoder, decoder;
    codecs_of(&method, &encoder, &decoder);
    if (data.type() != TYPE_BINARY && !in(ANY_STRING, data.type())) expect_arg(data.type(), 0);
    std::vector<uint8_t> in;
    binary::collect_bytes(&data, false, 0, false, in);
    if (in.size() >= 0x80000000u) fire(err::TOO_LONG);
    // One fixed-code block takes at most 9 bits per byte, plus the framing.
    uint64_t capacity = in.size() + in.size() / 8 + 64;
    std::vector<uint8_t> out;
    if (!run_codec(encoder, in, capacity, out)) fire(err::INVALID_DATA, &data);
    return result(*binary::load(out.data(), static_cast<uint32_t>(out.size())));
}

// decompress data method /size sz: the bytes of a raw DEFLATE, zlib or gzip
// stream. The size is a first guess for the buffer; the decoders tell the
// real size.
Unwind n_decompress(bool, const int32_t* refs) {
    Cell data = *arg(0);
    Cell method = *arg(1);
    Codec encoder, decoder;
    codecs_of(&method, &encoder, &decoder);
    if (data.type() != TYPE_BINARY) expect_arg(data.type(), 0);
    std::vector<uint8_t> in;
    binary::collect_bytes(&data, false, 0, false, in);
    // No DEFLATE stream expands more than 1032 times, so no guess need be
    // larger than that.
    uint64_t bound = uint64_t{1032} * in.size() + 64;
    uint64_t capacity = std::min<uint64_t>(bound, std::max<uint64_t>(in.size() * 4, 4096));
    if (Cell* size = ref_arg(refs, 0)) {
        if (size->type() != TYPE_INTEGER) expect_arg(size->type(), 2);
        if (size->int_value() < 0) fire(err::INVALID_ARG, size);
        capacity = std::min<uint64_t>(bound, static_cast<uint64_t>(size->int_value()));
    }
    std::vector<uint8_t> out;
    if (!run_codec(decoder, in, capacity, out)) fire(err::INVALID_DATA, &data);
    return result(*binary::load(out.data(), static_cast<uint32_t>(out.size())));
}

}  // namespace natives
