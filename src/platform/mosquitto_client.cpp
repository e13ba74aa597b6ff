#include "platform/mosquitto_client.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>

namespace ovx {

using Clock = std::chrono::steady_clock;

struct MosquittoClient::Shared {
  Shared() {
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) wake[0] = wake[1] = -1;
  }
  ~Shared() {
    for (const int fd : wake)
      if (fd >= 0) ::close(fd);
  }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  // Wakes the network thread from its poll.
  void rouse() const {
    const char byte = 0;
    (void)!::write(wake[1], &byte, 1);
  }
  void drain() const {
    char bytes[64];
    while (::read(wake[0], bytes, sizeof bytes) > 0) {
    }
  }
  // Runs `news` on the owner's thread, from its event loop, unless the owner
  // is gone by then.
  void tell(std::function<void(MessageClient&)> news) {
    std::lock_guard lock(mutex);
    if (!owner) return;
    MosquittoClient* client = owner;
    QMetaObject::invokeMethod(
        client, [client, news = std::move(news)] { news(*client); }, Qt::QueuedConnection);
  }
  bool closing() {
    std::lock_guard lock(mutex);
    return closingAsked;
  }

  BrokerOptions options;  // set before the thread starts
  int wake[2] = {-1, -1};
  std::mutex mutex;
  std::condition_variable ended;
  // Guarded by the mutex:
  std::deque<BrokerMessage> outbox;
  bool closingAsked = false;
  Clock::time_point deadline;  // of the goodbye
  bool finished = false;
  MosquittoClient* owner = nullptr;
};

namespace {

std::once_flag libraryReady;

// The library's texts end with a full stop, the system's do not.
QString Reason(const char* text) {
  QString reason = QString::fromLocal8Bit(text);
  if (reason.endsWith(QLatin1Char('.'))) reason.chop(1);
  return reason;
}

QString ErrorText(int rc) {
  // The library has no words of its own for this one.
  if (rc == MOSQ_ERR_KEEPALIVE) return QStringLiteral("no answer from the broker");
  return Reason(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
}

// An encrypted key file gets no password: without this the library would
// ask for one on the terminal.
int NoPassword(char*, int, int, void*) {
  return 0;
}

int Milliseconds(Clock::duration span) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(span).count();
  return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, 1000));
}

// The network thread's side: it alone touches the library's handle, a fresh
// one for every try.
class Session {
 public:
  explicit Session(std::shared_ptr<MosquittoClient::Shared> shared)
      : shared_(std::move(shared)), options_(shared_->options) {}
  ~Session() { drop(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void run() {
    double pause = options_.firstPause;
    while (!shared_->closing()) {
      tell(MessageClient::State::Connecting);
      connected_ = false;
      QString reason = setUp();
      if (reason.isEmpty()) {
        const int rc = mosquitto_connect_async(mosq_, options_.host.toUtf8().constData(),
                                               options_.port, options_.keepAlive);
        reason = rc == MOSQ_ERR_SUCCESS ? serve() : ErrorText(rc);
      }
      drop();
      if (shared_->closing()) return;
      if (connected_) pause = options_.firstPause;
      tell(MessageClient::State::Failed, reason, pause);
      wait(pause);
      pause = std::min(pause * 2, options_.longestPause);
    }
  }

 private:
  void tell(MessageClient::State state, const QString& reason = {}, double retryIn = 0) {
    shared_->tell([=](MessageClient& client) {
      if (client.onState) client.onState(state, reason, retryIn);
    });
  }

  // A new handle with the login, the will and TLS; why not, when it fails.
  QString setUp() {
    const BrokerOptions& o = options_;
    mosq_ = mosquitto_new(o.clientId.toUtf8().constData(), true, this);
    if (!mosq_) return QString::fromLocal8Bit(std::strerror(errno));
    mosquitto_connect_callback_set(mosq_, onConnect);
    mosquitto_publish_callback_set(mosq_, onPublish);
    mosquitto_message_callback_set(mosq_, onMessage);
    int rc = MOSQ_ERR_SUCCESS;
    if (!o.will.topic.isEmpty())
      rc = mosquitto_will_set(mosq_, o.will.topic.toUtf8().constData(),
                              static_cast<int>(o.will.payload.size()), o.will.payload.constData(),
                              o.will.qos, o.will.retain);
    if (rc == MOSQ_ERR_SUCCESS && !o.username.isEmpty())
      rc = mosquitto_username_pw_set(mosq_, o.username.toUtf8().constData(),
                                     o.password.isNull() ? nullptr : o.password.constData());
    if (rc == MOSQ_ERR_SUCCESS && !o.caFile.isEmpty()) {
      const QByteArray ca = o.caFile.toLocal8Bit(), cert = o.certFile.toLocal8Bit(),
                       key = o.keyFile.toLocal8Bit();
      rc = mosquitto_tls_set(mosq_, ca.constData(), nullptr,
                             cert.isEmpty() ? nullptr : cert.constData(),
                             key.isEmpty() ? nullptr : key.constData(), NoPassword);
    }
    return rc == MOSQ_ERR_SUCCESS ? QString() : ErrorText(rc);
  }

  // Ends the handle. What it had not got acknowledged goes back to the front
  // of the outbox, in order, for the next connection.
  void drop() {
    if (!mosq_) return;
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    std::lock_guard lock(shared_->mutex);
    for (auto it = unacknowledged_.rbegin(); it != unacknowledged_.rend(); ++it)
      shared_->outbox.push_front(it->second);
    unacknowledged_.clear();
  }

  // Serves the connection until it ends: why it ended, or nothing when the
  // client closes.
  QString serve() {
    const auto began = Clock::now();
    for (;;) {
      const int sock = mosquitto_socket(mosq_);
      if (sock < 0) return ErrorText(MOSQ_ERR_CONN_LOST);
      const auto out = static_cast<short>(mosquitto_want_write(mosq_) ? POLLOUT : 0);
      pollfd fds[2] = {{sock, static_cast<short>(POLLIN | out), 0}, {shared_->wake[0], POLLIN, 0}};
      if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return ErrorText(MOSQ_ERR_ERRNO);
      if (fds[1].revents) shared_->drain();
      if (shared_->closing()) {
        if (connected_) goodbye();
        return {};
      }
      int rc = MOSQ_ERR_SUCCESS;
      if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq_, 1);
      if (!refused_.isEmpty()) return std::exchange(refused_, QString());
      if (rc == MOSQ_ERR_SUCCESS && connected_) flush();
      if (rc == MOSQ_ERR_SUCCESS && (fds[0].revents & POLLOUT)) rc = mosquitto_loop_write(mosq_, 1);
      if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(mosq_);
      if (rc != MOSQ_ERR_SUCCESS) return ErrorText(rc);
      if (!connected_ && Clock::now() - began > std::chrono::seconds(options_.keepAlive))
        return ErrorText(MOSQ_ERR_KEEPALIVE);
    }
  }

  void send(const BrokerMessage& m) {
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, m.topic.toUtf8().constData(),
                                     static_cast<int>(m.payload.size()), m.payload.constData(),
                                     m.qos, m.retain);
    // Kept until the broker acknowledges it; a message the library refused
    // for good (a bad topic) would only come back again and again.
    const bool lostConnection =
        rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO;
    if (m.qos > 0 && (rc == MOSQ_ERR_SUCCESS || lostConnection))
      unacknowledged_.push_back({mid, m});
  }

  void flush() {
    std::deque<BrokerMessage> batch;
    {
      std::lock_guard lock(shared_->mutex);
      batch.swap(shared_->outbox);
    }
    for (const BrokerMessage& m : batch) send(m);
  }

  // What waits, then the will as the last word, then the goodbye, as far as
  // the deadline allows.
  void goodbye() {
    flush();
    if (!options_.will.topic.isEmpty()) send(options_.will);
    Clock::time_point deadline;
    {
      std::lock_guard lock(shared_->mutex);
      deadline = shared_->deadline;
    }
    // Until all is written and acknowledged: an acknowledgement left unread
    // when the socket closes turns the close into a reset, and the broker
    // may then lose the goodbye and publish the will as well.
    const auto settle = [&] {
      while (mosquitto_socket(mosq_) >= 0 &&
             (mosquitto_want_write(mosq_) || !unacknowledged_.empty()) && Clock::now() < deadline) {
        const auto out = static_cast<short>(mosquitto_want_write(mosq_) ? POLLOUT : 0);
        pollfd fd{mosquitto_socket(mosq_), static_cast<short>(POLLIN | out), 0};
        ::poll(&fd, 1, Milliseconds(deadline - Clock::now()));
        int rc = MOSQ_ERR_SUCCESS;
        if (fd.revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && (fd.revents & POLLOUT)) rc = mosquitto_loop_write(mosq_, 1);
        if (rc != MOSQ_ERR_SUCCESS) return;
      }
    };
    settle();
    mosquitto_disconnect(mosq_);
    settle();
  }

  // The pause between tries; ends early when the client closes.
  void wait(double seconds) {
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(seconds));
    while (!shared_->closing() && Clock::now() < until) {
      pollfd fd{shared_->wake[0], POLLIN, 0};
      ::poll(&fd, 1, Milliseconds(until - Clock::now()));
      shared_->drain();
    }
  }

  static void onConnect(mosquitto*, void* self, int rc) {
    auto& s = *static_cast<Session*>(self);
    if (rc != 0) {
      s.refused_ = Reason(mosquitto_connack_string(rc));
      return;
    }
    s.connected_ = true;
    if (!s.options_.birth.topic.isEmpty()) s.send(s.options_.birth);
    for (const QString& topic : s.options_.subscriptions)
      mosquitto_subscribe(s.mosq_, nullptr, topic.toUtf8().constData(), 0);
    s.flush();
    s.tell(MessageClient::State::Connected);
  }

  static void onPublish(mosquitto*, void* self, int mid) {
    auto& pending = static_cast<Session*>(self)->unacknowledged_;
    std::erase_if(pending, [mid](const auto& entry) { return entry.first == mid; });
  }

  static void onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    static_cast<Session*>(self)->shared_->tell([topic, payload](MessageClient& client) {
      if (client.onMessage) client.onMessage(topic, payload);
    });
  }

  std::shared_ptr<MosquittoClient::Shared> shared_;
  const BrokerOptions& options_;
  mosquitto* mosq_ = nullptr;
  bool connected_ = false;
  QString refused_;  // the broker's reason for refusing the login
  std::deque<std::pair<int, BrokerMessage>> unacknowledged_;
};

}  // namespace

MosquittoClient::MosquittoClient() : shared_(std::make_shared<Shared>()) {
  std::call_once(libraryReady, [] { mosquitto_lib_init(); });
  shared_->owner = this;
}

MosquittoClient::~MosquittoClient() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->owner = nullptr;
  }
  close(1);
}

void MosquittoClient::start(const BrokerOptions& options) {
  if (thread_.joinable()) return;
  shared_->options = options;
  thread_ = std::thread([shared = shared_] {
    // A write to a socket that the broker closed fails with EPIPE instead of
    // ending the program: the signal stays pending on this thread alone.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    Session(shared).run();
    std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->ended.notify_all();
  });
}

void MosquittoClient::publish(const BrokerMessage& message) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->outbox.push_back(message);
  }
  shared_->rouse();
}

void MosquittoClient::close(double seconds) {
  if (!thread_.joinable()) return;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds));
  std::unique_lock lock(shared_->mutex);
  shared_->closingAsked = true;
  shared_->deadline = deadline;
  shared_->rouse();
  const bool ended = shared_->ended.wait_until(lock, deadline, [&] { return shared_->finished; });
  lock.unlock();
  // A thread still stuck in a name lookup or a connect goes on alone; it
  // holds what it shares and tells no one any more.
  if (ended)
    thread_.join();
  else
    thread_.detach();
}

}  // namespace ovx
