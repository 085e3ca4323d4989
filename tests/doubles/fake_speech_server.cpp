#include "tests/doubles/fake_speech_server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace keelmark {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Client ids differ between the servers of one run, as they do between the
// clients of one real server: a connection of an earlier test that is left
// behind must not be mistaken for the current one.
std::atomic<int> nextClientId{41};

std::string Event(int code, int messageId, int clientId, const std::string& name) {
  std::ostringstream event;
  event << code << '-' << messageId << "\r\n" << code << '-' << clientId << "\r\n";
  if (code == 700) event << "700-" << name << "\r\n700 INDEX MARK\r\n";
  else event << code << ' ' << name << "\r\n";
  return event.str();
}

void Send(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

std::vector<std::string> MarkNames(const std::string& ssml) {
  std::vector<std::string> names;
  const std::string open = "<mark name=\"";
  for (std::size_t at = ssml.find(open); at != std::string::npos; at = ssml.find(open, at + 1)) {
    const std::size_t start = at + open.size();
    names.push_back(ssml.substr(start, ssml.find('"', start) - start));
  }
  return names;
}

// What a text in SSML sounds like: the markup taken out, entities read back.
std::string HeardText(const std::string& ssml) {
  std::string heard;
  for (std::size_t i = 0; i < ssml.size(); ++i) {
    if (ssml[i] == '<') {
      i = ssml.find('>', i);
      if (i == std::string::npos) break;
    } else if (ssml[i] == '&') {
      const std::size_t end = ssml.find(';', i);
      const std::string entity = ssml.substr(i, end - i + 1);
      for (const auto& [name, c] : {std::pair{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'},
                                    {"&apos;", '\''}}) {
        if (entity == name) heard += c;
      }
      i = end;
    } else {
      heard += ssml[i];
    }
  }
  return heard;
}

}  // namespace

// Something the server does later: send bytes, or with none hang up.
struct FakeSpeechServer::Due {
  Clock::time_point at;
  std::string bytes;
  // The message the event is about, 0 for none.
  int messageId = 0;
};

struct FakeSpeechServer::Client {
  int fd = -1;
  std::string input{};
  bool inText = false;
  std::string text{};
  Clock::time_point busyUntil{};
  std::vector<Due> due{};
};

FakeSpeechServer::FakeSpeechServer(const std::filesystem::path& socketPath, FakeSpeechOptions options)
    : path_(socketPath), options_(options), clientId_(nextClientId++), othersUntil_(Clock::now() + options.othersAhead) {
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string pathText = path_.string();
  pathText.copy(address.sun_path, sizeof(address.sun_path) - 1);
  if (listenFd_ < 0 || pathText.size() >= sizeof(address.sun_path) || pipe(wake_) != 0 ||
      bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(listenFd_, 8) != 0) {
    ADD_FAILURE() << "cannot listen at " << pathText;
    return;
  }
  thread_ = std::thread([this] { Run(); });
}

FakeSpeechServer::~FakeSpeechServer() {
  if (thread_.joinable()) {
    const char stop = 's';
    EXPECT_EQ(write(wake_[1], &stop, 1), 1);
    thread_.join();
  }
  if (listenFd_ >= 0) close(listenFd_);
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

std::vector<std::string> FakeSpeechServer::Commands() {
  std::lock_guard lock(mutex_);
  return commands_;
}

int FakeSpeechServer::CountCommands(const std::string& prefix) {
  const std::vector<std::string> commands = Commands();
  return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                        [&](const std::string& c) { return c.starts_with(prefix); }));
}

std::vector<std::string> FakeSpeechServer::Texts() {
  std::lock_guard lock(mutex_);
  return texts_;
}

int FakeSpeechServer::HangUps() {
  std::lock_guard lock(mutex_);
  return hangUps_;
}

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitUntil(const std::function<bool()>& ready, milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  while (!ready()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

void FakeSpeechServer::HangUp(Client& client) {
  std::lock_guard lock(mutex_);
  ++hangUps_;
  close(client.fd);
  client.fd = -1;
}

void FakeSpeechServer::Run() {
  std::vector<Client> clients;
  for (;;) {
    std::vector<pollfd> watched{{wake_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
    Clock::time_point next = Clock::time_point::max();
    for (const Client& client : clients) {
      watched.push_back({client.fd, POLLIN, 0});
      for (const Due& d : client.due) next = std::min(next, d.at);
    }
    const int timeout = next == Clock::time_point::max()
                            ? -1
                            : static_cast<int>(std::max<long long>(
                                  0, std::chrono::duration_cast<milliseconds>(next - Clock::now()).count() + 1));
    if (poll(watched.data(), watched.size(), timeout) < 0) continue;
    if (watched[0].revents != 0) break;
    for (std::size_t i = 0; i < clients.size(); ++i) {
      Client& client = clients[i];
      if (watched[i + 2].revents != 0) {
        char buffer[4096];
        const ssize_t n = read(client.fd, buffer, sizeof buffer);
        if (n > 0) client.input.append(buffer, static_cast<std::size_t>(n));
        else HangUp(client);
      }
      std::size_t end;
      while (client.fd >= 0 && (end = client.input.find("\r\n")) != std::string::npos) {
        const std::string line = client.input.substr(0, end);
        client.input.erase(0, end + 2);
        Handle(client, line);
      }
      const Clock::time_point now = Clock::now();
      for (const Due& d : client.due) {
        if (d.at <= now && client.fd >= 0) d.bytes.empty() ? HangUp(client) : Send(client.fd, d.bytes);
      }
      std::erase_if(client.due, [&](const Due& d) { return d.at <= now; });
    }
    std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
    // Taken in after the clients polled above, which `watched` lines up with.
    if (watched[1].revents & POLLIN) {
      const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0 && options_.refuse) close(fd);
      else if (fd >= 0) clients.push_back(Client{.fd = fd});
    }
  }
  for (const Client& client : clients) close(client.fd);
}

void FakeSpeechServer::Handle(Client& client, const std::string& line) {
  if (client.inText) {
    if (line == ".") {
      client.inText = false;
      Queue(client);
    } else {
      if (!client.text.empty()) client.text += '\n';
      client.text += line.starts_with("..") ? line.substr(1) : line;
    }
    return;
  }
  const std::string command = Upper(line);
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
  }
  if (!options_.hangUpOn.empty() && command.starts_with(options_.hangUpOn)) return HangUp(client);
  silent_ = silent_ || (!options_.silentFrom.empty() && command.starts_with(options_.silentFrom));
  if (silent_) return;
  static const std::pair<std::string, std::string> settings[] = {
      {"SET SELF CLIENT_NAME ", "208 OK CLIENT NAME SET"},
      {"SET SELF NOTIFICATION ", "220 OK NOTIFICATION SET"},
      {"SET SELF SSML_MODE ", "219 OK SSML MODE SET"},
      {"SET SELF PRIORITY ", "202 OK PRIORITY SET"},
  };
  for (const auto& [prefix, reply] : settings) {
    if (command.starts_with(prefix)) return Send(client.fd, reply + "\r\n");
  }
  if (command == "HISTORY GET CLIENT_ID") {
    Send(client.fd, "245-" + std::to_string(clientId_) + "\r\n245 OK CLIENT ID SENT\r\n");
  } else if (command == "SPEAK") {
    Send(client.fd, "230 OK RECEIVING DATA\r\n");
    client.inText = true;
    client.text.clear();
  } else if (command == "CANCEL SELF") {
    // What is still to be said of this client's texts is dropped, each
    // reported cancelled.
    std::set<int> cancelled;
    for (const Due& d : client.due) {
      if (d.messageId != 0) cancelled.insert(d.messageId);
    }
    std::erase_if(client.due, [](const Due& d) { return d.messageId != 0; });
    Send(client.fd, "213 OK CANCELED\r\n");
    for (int id : cancelled) Send(client.fd, Event(703, id, clientId_, "CANCELED"));
    client.busyUntil = Clock::now();
  } else {
    Send(client.fd, "300 ERR UNKNOWN COMMAND\r\n");
  }
}

void FakeSpeechServer::Queue(Client& client) {
  const int messageId = nextMessageId_++;
  {
    std::lock_guard lock(mutex_);
    texts_.push_back(HeardText(client.text));
  }
  const std::string queued = "225-" + std::to_string(messageId) + "\r\n225 OK MESSAGE QUEUED\r\n";
  const std::string finished = options_.cancelInsteadOfEnd ? Event(703, messageId, clientId_, "CANCELED")
                                                           : Event(702, messageId, clientId_, "END");
  if (options_.endBeforeQueuedReply) {
    Send(client.fd, finished + queued);
    return;
  }
  Send(client.fd, queued);
  if (options_.decoyEvents) {
    Send(client.fd, Event(700, messageId + 1000, clientId_, "w99"));
    Send(client.fd, Event(702, messageId + 1000, clientId_, "END"));
    Send(client.fd, Event(703, messageId + 1001, clientId_, "CANCELED"));
    Send(client.fd, Event(700, messageId, clientId_ + 1000, "w99"));
    Send(client.fd, Event(702, messageId, clientId_ + 1000, "END"));
  }
  // Texts are sounded one after another, as a server queues messages.
  Clock::time_point at = std::max({Clock::now(), client.busyUntil, othersUntil_});
  silent_ = silent_ || options_.silentOnceTaken;
  client.due.push_back({at, Event(701, messageId, clientId_, "BEGIN"), messageId});
  int marksSent = 0;
  for (const std::string& name : MarkNames(client.text)) {
    if (marksSent == options_.stallAfterMarks) break;
    at += options_.perMark;
    if (options_.reportMarks) client.due.push_back({at, Event(700, messageId, clientId_, name), messageId});
    ++marksSent;
  }
  if (marksSent == options_.stallAfterMarks) {
    if (options_.hangUpOnStall) client.due.push_back({at, "", 0});
    client.busyUntil = Clock::time_point::max();
    return;
  }
  at += options_.closingPause;
  client.due.push_back({at, finished, messageId});
  client.busyUntil = at;
}

}  // namespace keelmark
