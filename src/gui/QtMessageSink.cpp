#include "gui/QtMessageSink.h"

#include <utility>

#include <QCoreApplication>
#include <QEvent>
#include <QThread>


namespace sextara::gui {
namespace {

const QEvent::Type kWorkerEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class WorkerEvent final : public QEvent {
public:
    WorkerEvent(WorkerMessage message, std::shared_ptr<bool> done)
        : QEvent(kWorkerEventType), message(std::move(message)), done(std::move(done)) {}
    WorkerMessage message;
    std::shared_ptr<bool> done;  // set for a Send
};

}  // namespace

QtMessageSink::QtMessageSink(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), shared_(std::make_shared<Shared>()) {}

QtMessageSink::~QtMessageSink() { Shutdown(); }

void QtMessageSink::Send(platform::Message adapted) {
    if (QThread::currentThread() == thread()) {
        if (!IsShutDown() && handler_) handler_(adapted);
        return;
    }
    auto done = std::make_shared<bool>(false);
    std::shared_ptr<Shared> shared = shared_;
    std::unique_lock<std::mutex> lock(shared->lock);
    if (shared->shutDown) return;
    QCoreApplication::postEvent(this, new WorkerEvent(std::move(adapted), done));
    shared->handled.wait(lock, [&] { return *done || shared->shutDown; });
}

void QtMessageSink::Post(platform::Message message) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (shared_->shutDown) return;
    QCoreApplication::postEvent(this, new WorkerEvent(std::move(message), nullptr));
}

void QtMessageSink::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        shared_->shutDown = true;
    }
    shared_->handled.notify_all();
}

bool QtMessageSink::IsShutDown() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->shutDown;
}

void QtMessageSink::customEvent(QEvent* event) {
    if (event->type() != kWorkerEventType) {
        QObject::customEvent(event);
        return;
    }
    auto* worker = static_cast<WorkerEvent*>(event);
    if (!IsShutDown() && handler_) handler_(worker->message);
    if (worker->done) {
        {
            std::lock_guard<std::mutex> guard(shared_->lock);
            *worker->done = true;
        }
        shared_->handled.notify_all();
    }
}

}  // namespace sextara::gui
