// TPKT traffic as it crossed a TCP connection, and an outside decoder's view
// of it: the packets are written as a text2pcap dump with made-up TCP
// headers and read back through tshark's TPKT, COTP and session dissectors.
//
// RecordingRelay sits between a client and a server on 127.0.0.1: the client
// connects to the relay's port, the relay connects to the server and copies
// the octets both ways, keeping every chunk with its direction and order.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

// One TPKT as it crossed the connection.
struct CapturedTpkt {
  bool fromClient;
  std::string octets;
};

// tshark's view of a capture.
struct TsharkView {
  std::string error;   // empty when the capture was made and read
  std::string fields;  // one line per packet: the fields asked for, ';' between them
  std::string detail;  // the full decode (-V), for the expert items
};

// What tshark is asked for.
struct TsharkDecode {
  // Whether the session user data is decoded as presentation PDUs (and so
  // ACSE APDUs); off, the presentation dissector stays out.
  bool presentation = false;
  std::vector<std::string> fields = {"cotp.type", "ses.type"};
};

// True when tshark and text2pcap can be run.
bool tsharkAvailable();

// Decodes `packets` as TCP traffic between port 40000 (the client) and
// `serverPort`, with that port decoded as TPKT. `dir` holds the files.
TsharkView decodeTpktTraffic(const std::vector<CapturedTpkt>& packets, const std::string& dir, int serverPort,
                             const TsharkDecode& how = {});

// tshark's reading of the traffic, with the presentation layer decoded:
// well formed throughout, and every warning is about a syntax without a
// dissector. How often each of `what` occurs in the decode; the fields
// (COTP type, SPDU types, presentation mode) into `fields` when given.
std::map<std::string, size_t> decodeCleanly(const std::vector<CapturedTpkt>& traffic, int serverPort,
                                            const std::vector<std::string>& what, std::string* fields = nullptr);

class RecordingRelay {
 public:
  // Listens on an ephemeral port of 127.0.0.1; ok() tells whether it could.
  RecordingRelay();
  ~RecordingRelay();
  RecordingRelay(const RecordingRelay&) = delete;
  RecordingRelay& operator=(const RecordingRelay&) = delete;

  bool ok() const { return listenFd_ >= 0; }
  int port() const { return port_; }

  // What the relay passes on for each whole TPKT from the server (counted
  // from 0): the TPKT itself, more, or nothing. Set before start().
  using Steer = std::function<std::string(size_t index, const std::string& tpkt)>;
  void steerFromServer(Steer steer) { steer_ = std::move(steer); }

  // Starts the copying thread: one client, relayed to `serverPort`.
  void start(int serverPort);
  // Waits up to `seconds` for both sides to end their connection, then
  // stops the thread. True when both ended by themselves.
  bool finish(int seconds);

  // The recorded octets cut into TPKTs, in the order each one was complete.
  // A TPKT with a length below 4, or octets left over at the end of a
  // direction, come out as they are (a decoder then flags them).
  std::vector<CapturedTpkt> tpkts() const;
  // Whether the relay could reach the server.
  bool connected() const { return connected_.load(); }

 private:
  void run(int serverPort);

  struct Chunk {
    bool fromClient;
    std::string octets;
  };
  int listenFd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> connected_{false};
  std::vector<Chunk> chunks_;  // written by the thread, read after finish()
  Steer steer_;
  std::string fromServer_;  // octets of a TPKT from the server not yet whole
  size_t serverTpkts_ = 0;
};
