// url!: uniform resource locators, their percent-encoding and the way they
// reach HTTP and ports.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace url {

// The encoding modes of percent_encode: the URL table (kept: letters,
// digits and ! # $ & ' ( ) * + , - . / : = ? @ _ ~) or only the unreserved
// characters (letters, digits and - . _ ~).
constexpr int32_t MODE_URL = 0;
constexpr int32_t MODE_UNRESERVED = 254;

// Whether the byte (below 128) is written as it is by the URL table.
bool url_char_q(uint32_t byte);

// Appends the source's text from its index as UTF-8 to the target, each byte
// as it is or as "%" and two upper-case hexadecimal digits.
void percent_encode(const Cell* source, Cell* target, int32_t mode);
// Appends the source's text to the target with its escapes decoded; a
// multi-byte UTF-8 sequence must be escaped whole to be decoded (an invalid
// one raises access invalid-utf8), else the escape stays as it is. With
// `invalid`, an invalid sequence sets it and ends the decoding instead of
// raising.
void percent_decode(const Cell* source, Cell* target, bool* invalid = nullptr);

// The HTTP requester (method word, url, headers, data, binary?, lines?,
// info?) -> its answer, or null for no answer. Installed by the HTTP layer;
// while it is missing every HTTP request fails with access no-connect.
extern Cell* (*http_request)(Cell* method, Cell* url, Cell* headers, Cell* data, bool binary,
                             bool lines, bool info);

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(open);
ZEM_ACTION_DECL(read);
ZEM_ACTION_DECL(write);


}  // namespace url
