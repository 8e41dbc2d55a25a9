// update-server: a reference update server for the Updater. Serves the five
// requests of the update protocol on /cgi/u from a directory holding a
// catalog of devices (catalog.txt) and one directory of BIRD files per
// firmware identifier (<root>/<firmware>/<build>.bird). Fault switches make
// it misbehave in the ways the updater must survive.
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "Catalog.h"
#include "Requests.h"

namespace {

const char kPath[] = "/cgi/u";
const char* const kFaultNames[] = {"stall", "crlf", "ok-alone", "bad-base64", "huge", "not-ok",
                                   "http-500"};

struct Options {
  std::string host = "127.0.0.1";
  int port = 8750;
  std::string root = ".";
  std::set<std::string> faults;  // "name" (every op) or "name:op"
  size_t hugeBytes = 80u * 1024u * 1024u;
};

void usage(FILE* out) {
  fprintf(out,
          "usage: update-server [--host HOST] [--port PORT] [--root DIR]\n"
          "                     [--fault NAME[:OP]]... [--huge-bytes N]\n"
          "  --host HOST      address to listen on (default 127.0.0.1)\n"
          "  --port PORT      port to listen on (default 8750; 0 picks a free one)\n"
          "  --root DIR       directory with catalog.txt and <firmware>/<build>.bird\n"
          "                   (default ., the working directory)\n"
          "  --fault NAME     misbehave on every request, or on op OP only (repeatable;\n"
          "                   default: no fault):\n"
          "                   stall       accept and never answer\n"
          "                   crlf        end reply lines with CR LF\n"
          "                   ok-alone    answer \"ok\" and nothing else\n"
          "                   bad-base64  put a character outside base64 into BIRD replies\n"
          "                   huge        answer with a body of --huge-bytes bytes\n"
          "                   not-ok      answer with a first line that is not \"ok\"\n"
          "                   http-500    answer with status 500\n"
          "  --huge-bytes N   size of the huge reply body (default 83886080)\n"
          "  --help           this text\n"
          "SIGINT or SIGTERM stops the server.\n");
}

bool knownFault(const std::string& spec) {
  const std::string name = spec.substr(0, spec.find(':'));
  for (const char* known : kFaultNames) {
    if (name == known) return true;
  }
  return false;
}

// Returns 0 to run, 1 for bad arguments, 2 after --help.
int parseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return usage(stdout), 2;
    if (i + 1 >= argc) {
      fprintf(stderr, "update-server: unknown option or missing value: %s\n", arg.c_str());
      return 1;
    }
    const std::string value = argv[++i];
    uint32_t number = 0;
    if (arg == "--host") {
      options->host = value;
    } else if (arg == "--port" && parseDecimal32(value, &number) && number <= 65535) {
      options->port = static_cast<int>(number);
    } else if (arg == "--root") {
      options->root = value;
    } else if (arg == "--fault" && knownFault(value)) {
      options->faults.insert(value);
    } else if (arg == "--huge-bytes" && parseDecimal32(value, &number)) {
      options->hugeBytes = number;
    } else {
      fprintf(stderr, "update-server: bad option: %s %s\n", arg.c_str(), value.c_str());
      return 1;
    }
  }
  return 0;
}

bool readFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return false;
  *bytes = content.str();
  return true;
}

class UpdateServer {
 public:
  UpdateServer(const Options& options, const Catalog& catalog)
      : options_(options), catalog_(catalog) {}

  httplib::Server& http() { return server_; }

  void install() {
    server_.Get(kPath, [this](const httplib::Request& req, httplib::Response& res) {
      handle(req, res);
    });
    // Requests of /cgi/u are logged by handle() before the reply goes out,
    // so that a client holding its reply finds the line already written.
    server_.set_logger([](const httplib::Request& req, const httplib::Response& res) {
      if (req.path != kPath) logRequest(req, res.status);
    });
  }

  // Ends every stalled request and the server.
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    server_.stop();
  }

 private:
  bool hasFault(const std::string& name, const std::string& op) const {
    return options_.faults.count(name) || options_.faults.count(name + ":" + op);
  }

  void stall(const httplib::Request& req) {
    fprintf(stderr, "update-server: %s stalled\n", req.target.c_str());
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return stopping_; });
  }

  static void logRequest(const httplib::Request& req, int status) {
    fprintf(stderr, "update-server: %s %s -> %d\n", req.method.c_str(), req.target.c_str(), status);
  }

  void sendHuge(httplib::Response& res) {
    const size_t total = options_.hugeBytes;
    res.set_chunked_content_provider("text/plain", [total](size_t offset, httplib::DataSink& sink) {
      static const std::string fill(65536, 'A');
      if (offset == 0) return sink.write("ok\n", 3);
      const size_t n = std::min(fill.size(), total > offset ? total - offset : 0);
      if (n > 0 && !sink.write(fill.data(), n)) return false;
      if (offset + n >= total) sink.done();
      return true;
    });
  }

  void applyFaults(const std::string& op, Answer* answer) const {
    const bool ok = answer->status == 200 && answer->body.compare(0, 2, "ok") == 0;
    if (ok && hasFault("ok-alone", op)) answer->body = "ok\n";
    if (ok && hasFault("not-ok", op)) answer->body = "error: refused by fault switch\n";
    if (ok && op == "bird" && hasFault("bad-base64", op) && answer->body.size() > 3) {
      answer->body[3] = '*';  // first character of the base64 line
    }
    if (hasFault("http-500", op)) answer->status = 500;
    if (hasFault("crlf", op)) {
      std::string crlf;
      for (char c : answer->body) {
        if (c == '\n') crlf += '\r';
        crlf += c;
      }
      answer->body = crlf;
    }
  }

  void handle(const httplib::Request& req, httplib::Response& res) {
    std::map<std::string, std::string> params;
    for (const auto& param : req.params) params.emplace(param.first, param.second);
    const std::string op = params.count("op") ? params["op"] : "";
    if (hasFault("stall", op)) return stall(req);
    if (hasFault("huge", op)) {
      logRequest(req, 200);
      return sendHuge(res);
    }

    const std::string root = options_.root;
    Answer answer = answerRequest(catalog_, params,
                                  [&root](const std::string& fw, uint32_t build, std::string* bytes) {
                                    return readFile(root + "/" + fw + "/" + std::to_string(build) +
                                                        ".bird",
                                                    bytes);
                                  });
    applyFaults(op, &answer);
    logRequest(req, answer.status);
    res.status = answer.status;
    res.set_content(answer.body, "text/plain");
  }

  const Options& options_;
  const Catalog& catalog_;
  httplib::Server server_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = parseOptions(argc, argv, &options);
  if (parsed == 2) return 0;
  if (parsed != 0) return usage(stderr), 1;

  std::string text, error;
  Catalog catalog;
  const std::string catalogPath = options.root + "/catalog.txt";
  if (!readFile(catalogPath, &text)) {
    fprintf(stderr, "update-server: cannot read %s\n", catalogPath.c_str());
    return 1;
  }
  if (!parseCatalog(text, &catalog, &error)) {
    fprintf(stderr, "update-server: %s: %s\n", catalogPath.c_str(), error.c_str());
    return 1;
  }

  // SIGINT and SIGTERM are taken by one thread, which stops the server; every
  // other thread (the server's workers included) has them blocked.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  UpdateServer server(options, catalog);
  server.install();
  int port = options.port;
  if (port == 0) {
    port = server.http().bind_to_any_port(options.host);
  } else if (!server.http().bind_to_port(options.host, port)) {
    port = -1;
  }
  if (port <= 0) {
    fprintf(stderr, "update-server: cannot listen on %s:%d\n", options.host.c_str(), options.port);
    return 1;
  }
  printf("update-server: listening on http://%s:%d%s (%zu devices)\n", options.host.c_str(), port,
         kPath, catalog.devices.size());
  fflush(stdout);

  std::atomic<bool> listening{true};
  std::thread signalThread([&] {
    int signal = 0;
    sigwait(&signals, &signal);
    if (listening) fprintf(stderr, "update-server: stopping on signal %d\n", signal);
    server.stop();
  });
  const bool clean = server.http().listen_after_bind();
  listening = false;
  kill(getpid(), SIGTERM);  // ends the signal thread if the server stopped by itself
  signalThread.join();
  return clean ? 0 : 1;
}
