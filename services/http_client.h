// One synchronous HTTP exchange over libcurl: bytes and texts in, status,
// header text and body bytes out. Knows nothing of values.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace http_client {

struct Request {
    std::string method;  // "GET", "HEAD", "POST" or any other, upper case
    std::string url;     // escaped, ready to send
    std::vector<std::pair<std::string, std::string>> headers;
    // Headers libcurl would add on its own that are not to be sent.
    std::vector<std::string> left_out;
    bool has_body = false;
    std::string body;
};

struct Response {
    long status = 0;
    std::string header_text;  // the header lines of the last response (after redirects)
    std::string body;
};

// Sends the request (redirects followed, TLS by libcurl) and waits for the
// whole response. False when no response came (no connection, a bad URL,
// a failed transfer).
bool perform(const Request& request, Response* response);

}  // namespace http_client
