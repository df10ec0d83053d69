#include <gtest/gtest.h>

#include "mcp/rows.h"
#include "mcp/service_link.h"

using namespace nimbalo::mcp;

TEST(Rows, HttpBody) {
    EXPECT_EQ(http_body("HTTP/1.1 200 OK\r\nA: b\r\n\r\n{\"x\":1}\r\n\r\nmore"), "{\"x\":1}\r\n\r\nmore");
    EXPECT_EQ(http_body("HTTP/1.1 200 OK\r\n\r\n"), "");
    EXPECT_FALSE(http_body("HTTP/1.1 200 OK\r\n"));
    EXPECT_FALSE(http_body("HTTP/1.1 200 OK\r\n\r\n\xc3"));
}
