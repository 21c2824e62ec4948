#include "metrics/http_request_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace velmar {
namespace {

using State = HttpRequestParser::State;

// Feeds the whole text at once, and again a byte at a time: both must agree.
State ParseBothWays(const std::string& text, HttpRequest* request = nullptr, int* status = nullptr,
                    qsizetype limit = 8192) {
  HttpRequestParser whole(limit);
  const State once = whole.Feed(QByteArrayView(text.data(), text.size()));
  HttpRequestParser trickle(limit);
  State bytewise = State::kNeedMore;
  for (const char c : text) {
    if (bytewise != State::kNeedMore) {
      break;
    }
    bytewise = trickle.Feed(QByteArrayView(&c, 1));
  }
  EXPECT_EQ(once, bytewise) << text;
  if (once == State::kComplete && request != nullptr) {
    *request = whole.Request();
  }
  if (once == State::kError && status != nullptr) {
    *status = whole.ErrorStatus();
    EXPECT_EQ(trickle.ErrorStatus(), *status) << text;
  }
  return once;
}

TEST(HttpRequestParserTest, WellFormedHeads) {
  HttpRequest r;
  ASSERT_EQ(ParseBothWays("GET /metrics HTTP/1.1\r\nHost: x\r\nAccept: text/plain\r\n"
                          "accept: application/openmetrics-text\r\n\r\n",
                          &r),
            State::kComplete);
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.path, "/metrics");
  EXPECT_EQ(r.minorVersion, 1);
  EXPECT_TRUE(r.keepAlive);
  EXPECT_FALSE(r.hasBody);
  EXPECT_EQ(r.accept, "text/plain,application/openmetrics-text");

  // Bare line feeds, a query and a fragment, leading blank lines, HTTP/1.0.
  ASSERT_EQ(ParseBothWays("\r\n\nHEAD /metrics?x=1#top HTTP/1.0\n\n", &r), State::kComplete);
  EXPECT_EQ(r.method, "HEAD");
  EXPECT_EQ(r.target, "/metrics?x=1#top");
  EXPECT_EQ(r.path, "/metrics");
  EXPECT_FALSE(r.keepAlive) << "HTTP/1.0 closes unless asked";
  ASSERT_EQ(ParseBothWays("GET /metrics HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", &r),
            State::kComplete);
  EXPECT_TRUE(r.keepAlive);
  ASSERT_EQ(ParseBothWays("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: te, close\r\n\r\n", &r),
            State::kComplete);
  EXPECT_FALSE(r.keepAlive);

  // The absolute form names the same path.
  ASSERT_EQ(ParseBothWays("GET HTTP://h:9/metrics HTTP/1.1\r\nHost: h\r\n\r\n", &r),
            State::kComplete);
  EXPECT_EQ(r.path, "/metrics");
  ASSERT_EQ(ParseBothWays("GET http://h:9 HTTP/1.1\r\nHost: h\r\n\r\n", &r), State::kComplete);
  EXPECT_EQ(r.path, "/");

  // Bodies are announced, never read.
  ASSERT_EQ(ParseBothWays("POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\n", &r),
            State::kComplete);
  EXPECT_TRUE(r.hasBody);
  ASSERT_EQ(ParseBothWays("POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n", &r),
            State::kComplete);
  EXPECT_TRUE(r.hasBody);
  ASSERT_EQ(ParseBothWays("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n"
                          "Content-Length: 0\r\n\r\n",
                          &r),
            State::kComplete);
  EXPECT_FALSE(r.hasBody);
}

TEST(HttpRequestParserTest, MalformedHeadsAreRefused) {
  const char* const bad[] = {
      "GET /metrics\r\n\r\n",                                   // no version
      "GET  /metrics HTTP/1.1\r\nHost: x\r\n\r\n",              // two spaces
      "GET /met rics HTTP/1.1\r\nHost: x\r\n\r\n",              // space in the target
      "G(T /metrics HTTP/1.1\r\nHost: x\r\n\r\n",               // not a token
      " GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n",              // empty method
      "GET /metrics HTTP/1.1\r\n\r\n",                          // HTTP/1.1 without Host
      "GET /metrics HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n",    // two hosts
      "GET /metrics HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n",    // obsolete folding
      "GET /metrics HTTP/1.1\r\nHost x\r\n\r\n",                // no colon
      "GET /metrics HTTP/1.1\r\nHo st: x\r\n\r\n",              // space in a name
      "GET /metrics HTTP/1.1\r\nHost : x\r\n\r\n",              // space before the colon
      "GET /metrics HTTP/1.1\r\nHost: x\rEvil: y\r\n\r\n",      // bare CR
      "GET /metrics HTTP/1.1\r\nHost: x\r\nX: a\x01z\r\n\r\n",  // control character
      "GET /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: -1\r\n\r\n",
      "GET /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
      "GET /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999\r\n\r\n",
      "GET /metrics HTTP/1\r\nHost: x\r\n\r\n",
      "GET /metrics http/1.1\r\nHost: x\r\n\r\n",
      "GET /m\xe9trics HTTP/1.1\r\nHost: x\r\n\r\n",  // not ASCII
  };
  for (const char* text : bad) {
    int status = 0;
    EXPECT_EQ(ParseBothWays(text, nullptr, &status), State::kError) << text;
    EXPECT_EQ(status, 400) << text;
  }
  int status = 0;
  EXPECT_EQ(ParseBothWays("GET /metrics HTTP/2.0\r\nHost: x\r\n\r\n", nullptr, &status),
            State::kError);
  EXPECT_EQ(status, 505);
}

TEST(HttpRequestParserTest, TheHeadLimitAndPipelining) {
  // A head of exactly the limit passes; one byte more does not, complete
  // or not.
  const std::string start = "GET /metrics HTTP/1.1\r\nHost: x\r\nX: ";
  const std::string end = "\r\n\r\n";
  const std::string exact = start + std::string(100 - start.size() - end.size(), 'a') + end;
  ASSERT_EQ(exact.size(), 100u);
  EXPECT_EQ(ParseBothWays(exact, nullptr, nullptr, 100), State::kComplete);
  int status = 0;
  EXPECT_EQ(ParseBothWays(start + std::string(1 + 100 - start.size() - end.size(), 'a') + end,
                          nullptr, &status, 100),
            State::kError);
  EXPECT_EQ(status, 400);
  HttpRequestParser endless(100);
  EXPECT_EQ(endless.Room(), 100);
  EXPECT_EQ(endless.Feed(std::string(99, 'G')), State::kNeedMore);
  EXPECT_EQ(endless.Room(), 1);
  EXPECT_EQ(endless.Feed("G"), State::kError);
  EXPECT_EQ(endless.Room(), 0);
  EXPECT_EQ(endless.Feed("\r\n\r\n"), State::kError) << "an error is final";

  // Two requests and the start of a third in one read.
  HttpRequestParser parser(100);
  ASSERT_EQ(parser.Feed("GET /a HTTP/1.1\r\nHost: x\r\n\r\nHEAD /b HTTP/1.1\r\nHost: x\r\n\r\nGE"),
            State::kComplete);
  EXPECT_EQ(parser.Request().path, "/a");
  EXPECT_EQ(parser.Room(), 100 - 29 - 2) << "what follows counts for the next head";
  ASSERT_EQ(parser.Next(), State::kComplete);
  EXPECT_EQ(parser.Request().method, "HEAD");
  EXPECT_EQ(parser.Request().path, "/b");
  ASSERT_EQ(parser.Next(), State::kNeedMore);
  EXPECT_EQ(parser.Room(), 98);
  EXPECT_EQ(parser.Feed("T /c HTTP/1.0\r"), State::kNeedMore);
  EXPECT_EQ(parser.Feed("\n\r\n"), State::kComplete);
  EXPECT_EQ(parser.Request().path, "/c");
  // A carriage return alone between requests waits for its line feed.
  EXPECT_EQ(parser.Next(), State::kNeedMore);
  EXPECT_EQ(parser.Feed("\r"), State::kNeedMore);
  EXPECT_EQ(parser.Feed("\nGET /d HTTP/1.0\r\n\r\n"), State::kComplete);
  EXPECT_EQ(parser.Request().path, "/d");
}

}  // namespace
}  // namespace velmar
