#include "MqttBroker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <thread>

namespace tessaro::test {

using namespace std::chrono_literals;

QString MosquittoProgram() {
    const QString found = QStandardPaths::findExecutable("mosquitto");
    if (!found.isEmpty()) return found;
    return QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/local/sbin"});
}

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

std::uint16_t FreeLoopbackPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

bool WaitForListener(std::uint16_t port, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(port);
        const bool accepted = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(socket);
        if (accepted) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TBroker::TBroker(std::uint16_t port, std::string configLines) : port_(port), configLines_(std::move(configLines)) {
    // The broker's own log is of no interest to a passing test.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
}

TBroker::~TBroker() {
    Stop();
    if (!configFile_.empty()) QFile::remove(QString::fromStdString(configFile_));
}

bool TBroker::Start() {
    QStringList arguments;
    if (configLines_.empty()) {
        arguments = {"-p", QString::number(port_)};
    } else {
        configFile_ = QDir::tempPath().toStdString() + "/tessaro-mosquitto-" + std::to_string(port_) + ".conf";
        QFile file(QString::fromStdString(configFile_));
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write(("listener " + std::to_string(port_) + " 127.0.0.1\n" + configLines_).c_str());
        file.close();
        arguments = {"-c", QString::fromStdString(configFile_)};
    }
    process_.start(MosquittoProgram(), arguments);
    return process_.waitForStarted(5000) && WaitForListener(port_, 5s);
}

void TBroker::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

TSubscriber::TSubscriber(std::uint16_t port, const std::string& filter) : filter_(filter) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(client_, [](mosquitto* client, void* self, int code) {
        if (code != 0) return;
        auto& subscriber = *static_cast<TSubscriber*>(self);
        mosquitto_subscribe(client, nullptr, subscriber.filter_.c_str(), 1);
        std::lock_guard lock(subscriber.mutex_);
        subscriber.subscribed_ = true;
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* message) {
        auto& subscriber = *static_cast<TSubscriber*>(self);
        std::lock_guard lock(subscriber.mutex_);
        subscriber.received_.push_back(
            {message->topic,
             std::string(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen)),
             message->retain, std::chrono::steady_clock::now()});
    });
    mosquitto_connect(client_, "127.0.0.1", port, 60);
    mosquitto_loop_start(client_);
}

TSubscriber::~TSubscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
}

bool TSubscriber::Connected() const {
    std::lock_guard lock(mutex_);
    return subscribed_;
}

std::vector<TReceived> TSubscriber::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::string TSubscriber::Last(const std::string& topic) const {
    std::lock_guard lock(mutex_);
    for (auto message = received_.rbegin(); message != received_.rend(); ++message)
        if (message->Topic == topic) return message->Payload;
    return {};
}

bool TSubscriber::WaitFor(const std::string& topic, const std::string& payload, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(mutex_);
            for (const TReceived& message : received_)
                if (message.Topic == topic && (payload.empty() || message.Payload == payload)) return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

}  // namespace tessaro::test
