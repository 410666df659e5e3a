// Terminal input decoding.
#include "gui/terminal/decoder.h"

#include "runtime/unicode.h"

namespace tui {

namespace {

constexpr uint8_t ESC = 27;

Input key_input(int32_t key, uint32_t flags = 0) {
    Input in;
    in.kind = Input::KEY;
    in.key = key;
    in.flags = flags;
    return in;
}

// The modifier bits of a CSI key's second parameter (1 + shift 1, alt 2, control 4).
uint32_t modifiers(int param) {
    if (param < 2) return 0;
    int m = param - 1;
    return (m & 1 ? MOD_SHIFT : 0) | (m & 2 ? MOD_ALT : 0) | (m & 4 ? MOD_CONTROL : 0);
}

// The key of a CSI sequence by its final byte and first parameter; 0 for none.
int32_t csi_key(uint8_t final, int first, int count) {
    switch (final) {
        case 'A': return KEY_UP;
        case 'B': return KEY_DOWN;
        case 'C': return KEY_RIGHT;
        case 'D': return KEY_LEFT;
        case 'F': return KEY_END;
        case 'H': return KEY_HOME;
        case 'P': case 'Q': case 'R': case 'S': return count > 1 ? KEY_F1 - (final - 'P') : 0;  // modified F1-F4
        case '~':
            switch (first) {
                case 1: case 7: return KEY_HOME;
                case 4: case 8: return KEY_END;
                case 3: return KEY_DELETE;
                case 5: return KEY_PAGE_UP;
                case 6: return KEY_PAGE_DOWN;
                case 11: case 12: case 13: case 14: return KEY_F1 - (first - 11);
                case 15: return -35;
                case 17: case 18: case 19: case 20: case 21: return -36 - (first - 17);
                case 23: case 24: return -41 - (first - 23);
                default: return 0;
            }
        default: return 0;
    }
}

// The key of ESC O x (SS3): application-mode cursor keys, Home, End, F1-F4,
// keypad Enter.
int32_t ss3_key(uint8_t b) {
    if (b >= 'P' && b <= 'S') return KEY_F1 - (b - 'P');
    if (b == 'M') return 13;
    return b == '~' ? 0 : csi_key(b, 0, 0);
}

}  // namespace

void Decoder::feed(const uint8_t* bytes, size_t n) { buffer_.insert(buffer_.end(), bytes, bytes + n); }

void Decoder::clear() { buffer_.clear(); }

void Decoder::mouse(const int* params, bool press, std::vector<Input>& out) {
    int cb = params[0];
    int n = (cb & 3) | ((cb & 64) >> 4);
    Input in;
    in.x = static_cast<float>(params[1] - 1);
    in.y = static_cast<float>(params[2] - origin_row - 1);
    in.flags = (cb & 4 ? MOD_SHIFT : 0) | (cb & 8 ? MOD_ALT : 0) | (cb & 16 ? MOD_CONTROL : 0);
    if (n < 3) {
        if (press != pressed) {
            pressed = press;
            in.kind = Input::BUTTON;
            in.type = static_cast<uint32_t>(2 * n + (press ? 1 : 2));
        } else {
            in.kind = Input::OVER;  // a drag: motion with the button held
            in.flags |= MOD_DOWN;
        }
    } else if (n == 3) {
        in.kind = Input::OVER;
    } else if (n == 4 || n == 5) {
        in.kind = Input::WHEEL;
        in.amount = n == 4 ? 1 : -1;
    } else {
        return;
    }
    out.push_back(in);
}

// Decodes the sequence whose ESC is at p; on DONE, p is past it.
Decoder::Status Decoder::escape(size_t& p, std::vector<Input>& out) {
    const size_t end = buffer_.size();
    size_t q = p + 1;
    if (q >= end) return CUT_SHORT;
    uint8_t kind = buffer_[q++];
    if (kind == ESC) {
        // An Esc typed just before a sequence arrived (a terminal's reply):
        // the first is the Esc key, the second starts the sequence.
        out.push_back(key_input(27));
        p = q - 1;
        return DONE;
    }
    if (kind == 'P' || kind == ']') {
        // A device control string or an operating-system command: skipped
        // up to its terminator (ESC \, or BEL for a command).
        for (; q < end; ++q) {
            if (kind == ']' && buffer_[q] == 7) {
                p = q + 1;
                return DONE;
            }
            if (buffer_[q] == ESC && q + 1 < end && buffer_[q + 1] == '\\') {
                p = q + 2;
                return DONE;
            }
        }
        return CUT_SHORT;
    }
    if (kind == '[') {
        int params[8] = {0};
        int count = 0, current = 0;
        bool digits = false, sgr = false;
        for (; q < end; ++q) {
            uint8_t b = buffer_[q];
            if (b == ESC) {  // abandoned: the ESC starts what follows
                p = q;
                return DONE;
            }
            if (b == '<') {
                sgr = true;
            } else if (b >= '0' && b <= '9') {
                current = current * 10 + (b - '0');
                if (current > 65535) current = 65535;
                digits = true;
            } else if (b == ';') {
                if (count < 8) params[count++] = current;
                current = 0;
                digits = false;
            } else if (b >= 64 && b <= 126 && b != '[') {
                if (digits || count > 0) {
                    if (count < 8) params[count++] = current;
                }
                p = q + 1;
                if (b == 'M' || b == 'm') {
                    if (count == 3) mouse(params, b == 'M', out);
                } else if (b == 'R' && count == 2) {
                    origin_row = params[0] - 1;
                    origin_col = params[1] - 1;
                    Input in;
                    in.kind = Input::CURSOR;
                    in.row = origin_row;
                    in.col = origin_col;
                    out.push_back(in);
                } else if (b == 'Z') {
                    out.push_back(key_input(9, MOD_SHIFT));  // back-tab
                } else if (count <= 2) {
                    int32_t key = csi_key(b, count ? params[0] : 0, count);
                    if (key) out.push_back(key_input(key, modifiers(count == 2 ? params[1] : 0)));
                }
                (void)sgr;
                return DONE;
            }
        }
        return CUT_SHORT;
    }
    if (kind == 'O') {
        if (q >= end) return CUT_SHORT;
        int32_t key = ss3_key(buffer_[q++]);
        p = q;
        if (key) out.push_back(key_input(key));
        return DONE;
    }
    if (esc_waited_ && p == 0) {
        // The Esc came alone in an earlier read: it was the Esc key, and
        // what was typed after it is input of its own.
        out.push_back(key_input(27));
        p = 1;
        return DONE;
    }
    // Esc and a character read together: the character typed with Alt.
    // Its key follows as decode's next step.
    alt_next_ = true;
    p = q - 1;
    return DONE;
}

bool Decoder::decode(std::vector<Input>& out, bool quiet, size_t limit) {
    size_t p = 0, end = buffer_.size();
    size_t cut = end;  // start of a sequence cut short, when one is
    size_t first_out = out.size();
    auto flag_alt = [&] {
        if (alt_next_ && out.size() > first_out) out.back().flags |= MOD_ALT;
    };
    bool limited = false;
    while (p < end) {
        if (out.size() - first_out >= limit) {
            limited = true;
            break;
        }
        uint8_t b = buffer_[p];
        if (b == ESC) {
            if (end == 1) {
                if (!quiet && !esc_waited_) {  // a sequence may still follow
                    esc_waited_ = true;
                    return false;
                }
                out.push_back(key_input(27));
                p = 1;
                break;
            }
            size_t start = p;
            if (escape(p, out) == CUT_SHORT) {
                cut = start;
                break;
            }
        } else if (b < 32 || b == 127) {
            int32_t key = b == 8 ? 127 : b == 10 ? 13 : b;
            if (key) out.push_back(key_input(key));
            flag_alt();
            alt_next_ = false;
            ++p;
        } else {
            uint32_t need = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            if (b >= 0xC0 && p + need > end) {
                // A cut-short character: valid so far, so its rest is coming.
                bool valid = true;
                for (size_t i = p + 1; i < end; ++i) valid &= (buffer_[i] & 0xC0) == 0x80;
                if (valid && b < 0xF8) {
                    cut = p;
                    break;
                }
            }
            uint32_t count = static_cast<uint32_t>(end - p);
            int32_t cp = unicode::decode_utf8_char_or_invalid(&buffer_[p], &count);
            if (cp < 0 || count == 0 || p + count > end) cp = 0xFFFD, count = 1;
            out.push_back(key_input(cp));
            flag_alt();
            alt_next_ = false;
            p += count;
        }
    }
    esc_waited_ = false;
    alt_next_ = false;
    if (limited) cut = p;
    if (cut < end) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(cut));
    } else {
        buffer_.clear();
    }
    return limited;
}

}  // namespace tui
