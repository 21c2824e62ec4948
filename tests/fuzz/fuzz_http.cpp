// The HTTP response path on arbitrary bytes: a loopback server answers
// every request with the fuzzer's input and closes, so the client's real
// socket layer reads the status line, the header lines (folded or not), a
// chunked, length-delimited or until-close body. Every input ends in a
// status or a clear error: no crash, no hang, no unbounded memory.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "net/http_client.h"
#include "net/socket_error.h"

namespace {

std::mutex answerLock;
std::string answer;
int port = 0;

void Serve(int listener) {
  for (;;) {
    const int peer = accept(listener, nullptr, nullptr);
    if (peer < 0)
      continue;
    char request[4096];
    // Read the request head (ends with a blank line); the client sends it
    // whole before it reads.
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = recv(peer, request, sizeof request, 0);
      if (n <= 0)
        break;
      head.append(request, static_cast<size_t>(n));
    }
    std::string reply;
    {
      std::lock_guard lock(answerLock);
      reply = answer;
    }
    size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t n = send(peer, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (n <= 0)
        break;
      sent += static_cast<size_t>(n);
    }
    shutdown(peer, SHUT_WR);
    close(peer);
  }
}

void StartServer() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0)
    abort();
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  std::thread(Serve, fd).detach();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static velmar::HttpClient* client = nullptr;
  if (client == nullptr) {
    static int argc = 1;
    static char name[] = "fuzz_http";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    StartServer();
    client = new velmar::HttpClient;
    client->SetTimeOut(2);
  }
  {
    std::lock_guard lock(answerLock);
    answer.assign(reinterpret_cast<const char*>(data), size);
  }
  client->SetURL(QStringLiteral("http://127.0.0.1:%1/file").arg(port));
  try {
    client->Get();
    // A body can never be larger than what the server sent.
    if (client->BodySize() > static_cast<int64_t>(size))
      abort();
    (void)client->Headers().GetFieldValue(QStringLiteral("Content-Type"));
  } catch (const velmar::Exception&) {
  }
  return 0;
}
