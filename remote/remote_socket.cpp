#include "remote/remote_socket.h"

#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

// One look-up of a host: the thread that resolves the name hands its answer to the socket while the socket
// still wants it. A socket that aborts or goes away clears `owner` first, under the lock.
struct RemoteSocket::Lookup {
    std::mutex mutex;
    RemoteSocket* owner = nullptr;
};

namespace {

// The address when `host` is written as one (IPv4 or IPv6); nothing to look up then.
std::optional<RemoteSocket::Address> numericAddress(const QString& host, quint16 port) {
    const QByteArray text = host.toLatin1();
    RemoteSocket::Address address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (inet_pton(AF_INET, text.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        address.length = sizeof(sockaddr_in);
        return address;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (inet_pton(AF_INET6, text.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        address.length = sizeof(sockaddr_in6);
        return address;
    }
    return std::nullopt;
}

// Every address of `host`, in the order the system prefers them; blocks while the name is looked up.
std::vector<RemoteSocket::Address> resolve(const QByteArray& host, quint16 port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::vector<RemoteSocket::Address> addresses;
    if (getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
        RemoteSocket::Address address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        addresses.push_back(address);
    }
    freeaddrinfo(found);
    return addresses;
}

// At most this much is read at one notice of the event loop; the rest comes at the next.
constexpr qsizetype kReadPerNotice = 1 << 20;

}  // namespace

RemoteSocket::RemoteSocket(QObject* parent) : QObject(parent) {}

RemoteSocket::~RemoteSocket() {
    if (lookup_) {
        const std::lock_guard lock(lookup_->mutex);
        lookup_->owner = nullptr;
    }
    closeSocket();
}

void RemoteSocket::ConnectToHost(const QString& host, quint16 port) {
    if (state_ != State::Unconnected) return;
    state_ = State::Connecting;
    received_.clear();
    auto lookup = std::make_shared<Lookup>();
    lookup->owner = this;
    lookup_ = lookup;
    // The answer, taken only while this attempt is still the one under way.
    const auto answer = [this, lookup](std::vector<Address> addresses) {
        if (lookup_ != lookup) return;
        lookup_.reset();
        tryAddresses(std::move(addresses), EHOSTUNREACH);
    };
    if (const auto numeric = numericAddress(host, port)) {
        // Started at once, as a connection to an address is; only a failure waits for the event loop.
        lookup_.reset();
        addresses_ = {*numeric};
        int error = 0;
        if (startNextAddress(error)) return;
        lookup_ = lookup;
        QMetaObject::invokeMethod(
            this,
            [this, lookup, error] {
                if (lookup_ != lookup) return;
                lookup_.reset();
                fail(error);
            },
            Qt::QueuedConnection);
        return;
    }
    std::thread([lookup, answer, name = host.toUtf8(), port] {
        std::vector<Address> addresses = resolve(name, port);
        const std::lock_guard lock(lookup->mutex);
        // Posted to the socket, so it runs on the socket's thread; a socket deleted meanwhile drops it.
        if (lookup->owner)
            QMetaObject::invokeMethod(
                lookup->owner,
                [answer, addresses = std::move(addresses)]() mutable { answer(std::move(addresses)); },
                Qt::QueuedConnection);
    }).detach();
}

void RemoteSocket::Abort() {
    if (lookup_) {
        const std::lock_guard lock(lookup_->mutex);
        lookup_->owner = nullptr;
    }
    lookup_.reset();
    closeSocket();
    addresses_.clear();
    received_.clear();
    if (state_ == State::Unconnected) return;
    state_ = State::Unconnected;
    emit Unconnected();
}

QByteArray RemoteSocket::ReadAll() {
    return std::exchange(received_, {});
}

void RemoteSocket::tryAddresses(std::vector<Address> addresses, int lookupError) {
    addresses_ = std::move(addresses);
    tryNextAddress(lookupError);
}

// Connects to the next address left; when none is, the attempt fails with the last address's error.
void RemoteSocket::tryNextAddress(int lastError) {
    if (!startNextAddress(lastError)) fail(lastError);
}

// Starts connecting to the next address left that takes a connection attempt; false when none is left, with
// the last error in `lastError`.
bool RemoteSocket::startNextAddress(int& lastError) {
    while (!addresses_.empty()) {
        const Address address = addresses_.front();
        addresses_.erase(addresses_.begin());
        const int fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0 ||
            errno == EINPROGRESS || errno == EINTR) {
            // Writable once the connection is made or has failed; SO_ERROR tells which.
            fd_ = fd;
            writeNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(writeNotifier_, &QSocketNotifier::activated, this, &RemoteSocket::checkConnected);
            if (!connectLimit_) {
                connectLimit_ = new QTimer(this);
                connectLimit_->setSingleShot(true);
                connectLimit_->setInterval(ConnectTimeout);
                connect(connectLimit_, &QTimer::timeout, this, [this] {
                    closeSocket();
                    tryNextAddress(ETIMEDOUT);
                });
            }
            connectLimit_->start();
            return true;
        }
        lastError = errno;
        ::close(fd);
    }
    return false;
}

void RemoteSocket::checkConnected() {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
        closeSocket();
        tryNextAddress(error);
        return;
    }
    connectLimit_->stop();
    writeNotifier_->setEnabled(false);
    writeNotifier_->deleteLater();
    writeNotifier_ = nullptr;
    addresses_.clear();
    readNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &RemoteSocket::readAvailable);
    state_ = State::Connected;
    emit Connected();
}

// Reads what has arrived, then reports it; a close by the server (or a reset) comes after the last of its
// data.
void RemoteSocket::readAvailable() {
    readNotifier_->setEnabled(false);  // no second notice while the data's handlers run
    int error = 0;
    qsizetype got = 0;
    char buffer[16384];
    while (got < kReadPerNotice) {
        const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
        if (count > 0) {
            received_.append(buffer, count);
            got += count;
        } else if (count == 0) {
            error = ECONNRESET;
            break;
        } else if (errno != EINTR) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) error = errno;
            break;
        }
    }
    const QPointer<RemoteSocket> self(this);
    if (got > 0) emit ReadyRead();
    if (!self || state_ != State::Connected) return;  // aborted, or gone, meanwhile
    if (error != 0)
        fail(error);
    else
        readNotifier_->setEnabled(true);
}

void RemoteSocket::fail(int errorNumber) {
    const QPointer<RemoteSocket> self(this);
    emit Failed(errorNumber);
    if (!self || state_ == State::Unconnected) return;  // aborted by a handler
    closeSocket();
    addresses_.clear();
    state_ = State::Unconnected;
    emit Unconnected();
}

void RemoteSocket::closeSocket() {
    if (connectLimit_) connectLimit_->stop();
    for (QSocketNotifier** notifier : {&readNotifier_, &writeNotifier_}) {
        if (!*notifier) continue;
        (*notifier)->setEnabled(false);
        (*notifier)->deleteLater();  // perhaps inside its own signal
        *notifier = nullptr;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}
