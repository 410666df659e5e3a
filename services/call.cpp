#include "services/call.h"

#include <cstring>

#include "datatypes/binary.h"
#include "datatypes/file.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/text_storage.h"
#include "runtime/memory.h"
#include "runtime/sys.h"
#include "runtime/unicode.h"

namespace call {

namespace {

// The bytes of a string (UTF-8) or binary from its index.
std::string bytes_of(const Cell* v) {
    std::vector<uint8_t> bytes;
    binary::collect_bytes(v, false, 0, false, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// Where one redirection reads from or writes to: a file! by its path,
// another value through a buffer.
sys::ProcessStream stream_of(const Cell* v, bool input) {
    sys::ProcessStream s;
    if (v->type() == TYPE_FILE) {
        s.mode = sys::ProcessStream::File;
        s.path = file::to_os_path(v);
    } else {
        s.mode = sys::ProcessStream::Buffer;
        if (input) s.data = bytes_of(v);
    }
    return s;
}

// Appends what the child wrote to the target: the bytes to a binary!, the
// text decoded from UTF-8 with CR LF as LF to a string!.
void decode_output(Cell* target, const std::string& bytes) {
    if (bytes.empty()) return;
    if (bytes.size() >= 0x80000000u) fire(err::TOO_LONG);
    auto size = static_cast<uint32_t>(bytes.size());
    const auto* src = reinterpret_cast<const uint8_t*>(bytes.data());
    if (target->type() == TYPE_BINARY) {
        binary::rs_append(target, src, size);
        return;
    }
    uint32_t remaining = 0;
    Cell* text = stack::push_slot();
    *text = Cell{TYPE_UNSET, 0, 0, 0};
    text->data2 = unicode::load_utf8(src, size, 0, &remaining, true, false);
    text->header = TYPE_STRING;
    // Output that stops inside a sequence is no UTF-8 either.
    if (remaining) fire(err::INVALID_UTF8, binary::load(src + size - remaining, remaining));
    string::concatenate(target, text, -1, false);
    stack::pop(1);
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::vector<std::string> split_command(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    size_t i = 0, n = text.size();
    while (i < n) {
        char c = text[i++];
        if (blank(c)) {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
            continue;
        }
        in_word = true;
        if (c == '\'') {
            while (i < n && text[i] != '\'') word += text[i++];
            ++i;
        } else if (c == '"') {
            while (i < n && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < n && std::strchr("\\\"$`\n", text[i + 1])) {
                    if (text[i + 1] != '\n') word += text[i + 1];
                    i += 2;
                } else {
                    word += text[i++];
                }
            }
            ++i;
        } else if (c == '\\' && i < n) {
            if (text[i] != '\n') word += text[i];
            ++i;
        } else {
            word += c;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

int64_t run(const Cell* cmd, bool wait, bool console, bool shell, const Cell* in, Cell* out, Cell* err) {
    bool is_file = cmd->type() == TYPE_FILE;
    if (string::rs_length_q(cmd) == 0) return 0;
    // A file! is one program, by its full path; a string! is a command line.
    std::string text = is_file ? file::to_os_path(cmd) : bytes_of(cmd);
    std::string shell_text = is_file ? sys::shell_quote(text) : text;

    sys::ProcessRequest request;
    if (in) request.input = stream_of(in, true);
    auto quiet = console ? sys::ProcessStream::Inherit : sys::ProcessStream::Discard;
    request.output.mode = request.error.mode = quiet;
    if (out) request.output = stream_of(out, false);
    if (err) request.error = stream_of(err, false);
    request.wait = wait || console || in || out || err;

    // What the child writes to our own streams comes after what we wrote.
    sys::flush_output();
    int64_t status = sys::PROGRAM_NOT_FOUND;
    if (!shell) {
        request.argv = is_file ? std::vector<std::string>{text} : split_command(text);
        status = sys::run_process(request);
    }
    if (status == sys::PROGRAM_NOT_FOUND) {
        request.argv = sys::shell_argv(shell_text);
        status = sys::run_process(request);
        if (status == sys::PROGRAM_NOT_FOUND) status = sys::PROCESS_FAILED;
    }
    if (out && out->type() != TYPE_FILE) decode_output(out, request.output.data);
    if (err && err->type() != TYPE_FILE) decode_output(err, request.error.data);
    return status;
}

}  // namespace call
