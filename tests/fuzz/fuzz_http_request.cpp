// The metrics endpoint's request parser on arbitrary bytes, fed in pieces
// whose sizes come from the input: it must never crash, never take more
// than its limit, agree with itself however the bytes are split, and hand
// out only well-formed heads.
#include <QByteArrayList>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "exposition.h"
#include "http_request_parser.h"

using velmar::HttpRequestParser;

namespace {

// Every head the parser completes, in order, or the first error.
QList<QByteArray> Parse(const uint8_t* data, size_t size, size_t piece) {
  HttpRequestParser parser(256);
  QList<QByteArray> heads;
  size_t at = 0;
  while (at < size) {
    const qsizetype room = parser.Room();
    if (room <= 0 && parser.Current() != HttpRequestParser::State::kComplete) {
      break;
    }
    const size_t take =
        std::min({piece, size - at, static_cast<size_t>(std::max<qsizetype>(room, 0))});
    if (take == 0) {
      break;
    }
    parser.Feed(QByteArrayView(reinterpret_cast<const char*>(data) + at, take));
    at += take;
    while (parser.Current() == HttpRequestParser::State::kComplete) {
      const auto& r = parser.Request();
      if (r.method.isEmpty() || r.target.isEmpty() || r.path.size() > r.target.size() ||
          r.path.contains(' ')) {
        abort();
      }
      velmar::Exposition::Negotiate(r.accept);
      heads << r.method + ' ' + r.path;
      parser.Next();
    }
    if (parser.Current() == HttpRequestParser::State::kError) {
      if (parser.ErrorStatus() != 400 && parser.ErrorStatus() != 505) {
        abort();
      }
      heads << QByteArray::number(parser.ErrorStatus());
      break;
    }
  }
  return heads;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const size_t piece = 1 + data[0] % 64;
  const QList<QByteArray> split = Parse(data + 1, size - 1, piece);
  const QList<QByteArray> whole = Parse(data + 1, size - 1, 1 << 20);
  // Room() limits what one feed takes, so the whole input may stop at a
  // different place; what both completed must agree.
  for (qsizetype i = 0; i < std::min(split.size(), whole.size()); ++i) {
    if (split[i] != whole[i]) {
      abort();
    }
  }
  return 0;
}
