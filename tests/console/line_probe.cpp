// A test program around the line editor: reads lines at ">> " with a small
// history and a completer over a fixed word list, and reports each line read.
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "console/terminal.h"

namespace {

struct Lines : terminal::History {
    std::vector<std::u32string> lines;
    int32_t count() override { return static_cast<int32_t>(lines.size()); }
    std::u32string entry(int32_t i) override { return lines[static_cast<size_t>(i)]; }
    void add(const std::u32string& line) override {
        if (lines.empty() || lines[0] != line) lines.insert(lines.begin(), line);
    }
};

std::string shown(const std::u32string& s) {
    std::string out;
    for (char32_t c : s) {
        if (c == 27) out += "<ESC>";
        else if (c == '\t') out += "<TAB>";
        else if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) out += static_cast<char>(0xC0 | (c >> 6)), out += static_cast<char>(0x80 | (c & 0x3F));
        else if (c < 0x10000)
            out += static_cast<char>(0xE0 | (c >> 12)), out += static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                out += static_cast<char>(0x80 | (c & 0x3F));
        else
            out += static_cast<char>(0xF0 | (c >> 18)), out += static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F)), out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Completes the word before the cursor from a fixed list.
std::vector<terminal::Completion> complete(const std::u32string& line, size_t cursor) {
    static const std::u32string words[] = {U"print", U"probe", U"prin", U"quit"};
    size_t start = line.find_last_of(U" [(", cursor ? cursor - 1 : 0);
    start = start == std::u32string::npos || cursor == 0 ? 0 : start + 1;
    std::u32string word = line.substr(start, cursor - start);
    if (word.empty()) return {};
    std::vector<std::u32string> found;
    for (const auto& w : words)
        if (w.compare(0, word.size(), word) == 0) found.push_back(w);
    if (found.empty()) return {};
    std::u32string common = found[0];
    for (const auto& f : found) {
        size_t n = 0;
        while (n < common.size() && n < f.size() && common[n] == f[n]) ++n;
        common.resize(n);
    }
    std::u32string before = line.substr(0, start), after = line.substr(cursor);
    std::vector<terminal::Completion> out;
    out.push_back({before + common + after, before.size() + common.size()});
    if (found.size() > 1)
        for (const auto& f : found) out.push_back({f, 0});
    else if (common == word)
        return {};
    return out;
}

}  // namespace

int main() {
    Lines history;
    terminal::LineEditor editor(STDIN_FILENO, STDOUT_FILENO);
    for (;;) {
        std::u32string line;
        if (isatty(STDIN_FILENO)) {
            std::optional<std::u32string> edited = editor.edit(U">> ", false, &history, complete);
            if (!edited) return 0;  // the end of input
            line = *edited;
        } else if (!terminal::read_piped_line(STDIN_FILENO, line)) {
            return 0;
        }
        std::printf("got: [%s]\n", shown(line).c_str());
        std::fflush(stdout);
        if (line == U"q") return 0;
    }
}
