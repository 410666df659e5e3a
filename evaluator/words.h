// The fixed runtime words: symbols and words that the runtime's own code
// recognises by identity (PARSE keywords, date and event fields, change and
// trace events, call-frame pseudo-names, error categories), made once at
// start-up after the datatype words and before the natives.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

// The keywords of the PARSE dialect, fixed symbols of their own:
// X(C++ name, spelling). The dialect's keyword codes are made from it.
#define ZEM_PARSE_KEYWORDS(X)                                                                      \
    X(any, "any") X(break_, "break") X(copy, "copy") X(end, "end") X(fail, "fail")                 \
    X(into, "into") X(opt, "opt") X(not_, "not") X(quote, "quote") X(case_, "case")                \
    X(reject, "reject") X(set, "set") X(skip, "skip") X(some, "some") X(thru, "thru")              \
    X(to, "to") X(none, "none") X(pipe, "|") X(if_, "if") X(remove, "remove")                      \
    X(while_, "while") X(insert, "insert") X(only, "only") X(collect, "collect")                   \
    X(keep, "keep") X(pick, "pick") X(ahead, "ahead") X(after, "after") X(change, "change")

// Symbol ids kept for comparison against a word's resolved symbol:
// X(C++ name, spelling), in the order they are made.
#define ZEM_FIXED_SYMBOLS(X)                                                                       \
    X(spec, "spec") X(body, "body") X(words, "words") X(class_, "class")                           \
    X(logic_type, "logic!") X(integer_type, "integer!") X(char_type, "char!")                      \
    X(float_type, "float!") X(percent_type, "percent!") X(any_type, "any-type!")                   \
    X(exit_, "exit") X(return_, "return")                                                          \
    X(Windows, "Windows") X(Syllable, "Syllable") X(macOS, "macOS") X(Linux, "Linux")              \
    X(NetBSD, "NetBSD")                                                                            \
    X(repeat, "repeat") X(foreach, "foreach") X(map_each, "map-each")                              \
    X(remove_each, "remove-each")                                                                  \
    ZEM_PARSE_KEYWORDS(X) X(dash, "-")                                                             \
    X(x, "x") X(y, "y") X(z, "z")                                                                  \
    X(self, "self") X(values, "values") X(owner, "owner") X(owned, "owned")                        \
    X(events_q, "events?")                                                                         \
    X(true_, "true") X(false_, "false") X(yes, "yes") X(no, "no") X(on, "on") X(off, "off")        \
    X(type, "type") X(face, "face") X(window, "window") X(offset, "offset") X(key, "key")          \
    X(flag, "flag") X(code, "code") X(picked, "picked") X(flags, "flags") X(away_q, "away?")       \
    X(ctrl_q, "ctrl?") X(shift_q, "shift?") X(down_q, "down?") X(mid_down_q, "mid-down?")          \
    X(alt_down_q, "alt-down?") X(aux_down_q, "aux-down?") X(orientation, "orientation")            \
    X(get, "get") X(put, "put") X(post, "post") X(head, "head") X(size, "size") X(rgb, "rgb")      \
    X(alpha, "alpha") X(argb, "argb")                                                              \
    X(date, "date") X(year, "year") X(month, "month") X(day, "day") X(zone, "zone")                \
    X(week, "week") X(isoweek, "isoweek") X(weekday, "weekday") X(yearday, "yearday")              \
    X(julian, "julian") X(time, "time") X(hour, "hour") X(minute, "minute")                        \
    X(second, "second") X(timezone, "timezone")                                                    \
    X(amount, "amount") X(user, "user") X(host, "host")                                            \
    X(system, "system") X(system_global, "system-global") X(stack, "stack") X(trace, "trace")      \
    X(no_trace, "no-trace")

// Global words made from symbols above: X(C++ name of the symbol).
#define ZEM_FIXED_SYMBOL_WORDS(X)                                                                  \
    X(Windows) X(Syllable) X(macOS) X(Linux) X(NetBSD)                                             \
    X(to) X(thru) X(not_) X(remove) X(while_) X(collect) X(keep) X(ahead) X(pipe) X(any) X(some)   \
    X(copy) X(opt) X(into) X(insert) X(if_) X(quote) X(set) X(case_) X(end)

// Global words made from their spellings: X(C++ name, spelling), or S(C++
// name) for the spelling of the fixed symbol of that name.
#define ZEM_FIXED_WORDS(X, S)                                                                      \
    X(at, "at") X(back, "back") X(find, "find") S(head) X(head_q, "head?")                         \
    X(index_q, "index?") X(length_q, "length?") X(next, "next") S(pick) S(skip)                    \
    X(select, "select") X(tail, "tail") X(tail_q, "tail?") X(change, "change")                     \
    X(changed, "changed") X(clear, "clear") X(cleared, "cleared") X(set_path, "set-path")          \
    X(append, "append") X(appended, "appended") X(move, "move") X(moved, "moved")                  \
    X(poke, "poke") X(poked, "poked") S(put) X(put_ed, "put-ed") X(removed, "removed")             \
    X(random, "random") X(randomized, "randomized") X(reverse, "reverse")                          \
    X(reversed, "reversed") X(sort, "sort") X(sorted, "sorted") X(swap, "swap")                    \
    X(swaped, "swaped") X(take, "take") X(taken, "taken") X(trim, "trim") X(trimmed, "trimmed")    \
    X(inserted, "inserted") X(uppercase, "uppercase") X(lowercase, "lowercase")                    \
    X(checksum, "checksum")                                                                        \
    X(push, "push") X(pop, "pop") X(fetch, "fetch") X(match, "match") X(iterate, "iterate")        \
    X(paren, "paren")                                                                              \
    X(anon, "<anon>") X(body, "<body>") X(not_found, "<not-found>")                                \
    X(add, "add") X(subtract, "subtract") X(divide, "divide") X(multiply, "multiply")              \
    X(on_parse_event, "on-parse-event") X(on_change, "on-change*")                                 \
    X(on_deep_change, "on-deep-change*")                                                           \
    S(type) X(id, "id") X(try_, "try") X(catch_, "catch") X(name, "name")                          \
    X(browse, "browse")                                                                            \
    X(open, "open") X(create, "create") X(close, "close") X(delete_, "delete")                     \
    X(modify, "modify") X(query, "query") X(read, "read") X(rename, "rename")                      \
    X(update, "update") X(write, "write")                                                          \
    X(prescan, "prescan") X(scan, "scan") X(load, "load") X(error, "error")                        \
    X(comment, "comment")                                                                          \
    X(init, "init") X(exec, "exec") X(call, "call") S(return_) X(enter, "enter")                   \
    S(exit_) X(prolog, "prolog") X(epilog, "epilog") X(throw_, "throw") X(expr, "expr")            \
    X(interp_callback, "<interp-callback>") X(lexer_callback, "<lexer-callback>")                  \
    X(parse_callback, "<parse-callback>") X(compare_callback, "<compare-callback>")                \
    X(note, "note") X(syntax, "syntax") X(script, "script") X(math, "math")                        \
    X(access, "access") S(user) X(internal, "internal")                                            \
    X(invalid_error, "invalid-error")                                                              \
    X(local, "local") X(applied, "<applied>")

// Unbound refinement! cells: X(C++ name, spelling).
#define ZEM_FIXED_REFINEMENTS(X) \
    X(local, "local") X(extern_, "extern") X(compare, "compare") X(part, "part") X(skip, "skip") \
    X(with, "with")

namespace words {

namespace sym {
#define X(name, text) extern uint32_t name;
ZEM_FIXED_SYMBOLS(X)
#undef X
}  // namespace sym

#define X(name) extern Cell name;
ZEM_FIXED_SYMBOL_WORDS(X)
#undef X
#define S(name) extern Cell name;
#define X(name, text) S(name)
ZEM_FIXED_WORDS(X, S)
#undef X
#undef S

namespace ref {
#define X(name, text) extern Cell name;
ZEM_FIXED_REFINEMENTS(X)
#undef X
}  // namespace ref

// The issue! #ooo.
extern Cell issue_ooo;

// Makes the symbols and the global words, in the order above.
void build();
// Makes the unbound refinements.
void build_refinements();
// Makes the issue.
void build_issues();

}  // namespace words
