// The response header text as the HTTP layer turns it into a map: tolerant
// of missing spaces, bare LF line ends and a last line without its CR.
#include <gtest/gtest.h>

#include <string>

#include "booted.h"
#include "services/http.h"

namespace {

class HttpHeaders : public booted::Runtime {
protected:
    static std::string parsed(const std::string& text) {
        Cell* slot = stack::push_slot();
        http::parse_headers(text, slot);
        std::string s = test_eval::molded(*slot);
        stack::pop(1);
        return s;
    }
};

TEST_F(HttpHeaders, NamesBecomeWordsAndRepeatsGatherInOrder) {
    struct Case {
        const char* text;
        const char* mold;
    } cases[] = {
        {"Content-Type: text/plain\r\nX-A: 1\r\n\r\n", "#[\n    Content-Type: \"text/plain\"\n    X-A: \"1\"\n]"},
        {"X-Dup: one\r\nOther: o\r\nx-dup: two\r\n", "#[\n    X-Dup: [\"one\" \"two\"]\n    Other: \"o\"\n]"},
        // no space after the colon, a tab, bare LF, a last line without CR
        {"A:1\nB:\t2\r\nC: 3", "#[\n    A: \"1\"\n    B: \"2\"\n    C: \"3\"\n]"},
        // an empty value; lines without a colon (or with nothing before it) are skipped
        {"E:\r\nno colon\r\n: x\r\n", "#[\n    E: \"\"\n]"},
        {"", "#[]"},
    };
    for (const Case& c : cases) EXPECT_EQ(parsed(c.text), c.mold) << c.text;
}

TEST_F(HttpHeaders, AValueRunsToTheEndOfTheTextAndNoFurther) {
    // The text ends right after the colon, then inside a name.
    EXPECT_EQ(parsed("A:"), "#[\n    A: \"\"\n]");
    EXPECT_EQ(parsed("A: 1\r\nB"), "#[\n    A: \"1\"\n]");
}

}  // namespace
