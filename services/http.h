// HTTP requests of url! values: the request built from a method word, a
// header block and data, the answer shaped into a value.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.h"

namespace http {

// Performs the request and answers its value: the body (binary!, block! of
// lines or string!), or with info a block of the status, the headers map
// and the body; null when no response came.
Cell* request_http(Cell* method, Cell* url, Cell* headers, Cell* data, bool binary, bool lines, bool info);

// The response header text as a map! into the slot: each name a word, each
// value a string; a name met again holds a block of its values in order.
Cell* parse_headers(const std::string& text, Cell* slot);

// Installs request_http as url!'s HTTP requester.
void init();

}  // namespace http
