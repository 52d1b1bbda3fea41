#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <QObject>

#include "platform/MessageSink.h"

namespace sextara::gui {

using WorkerMessage = platform::Message;

// Worker messages delivered on the thread of this object (the window thread)
// as posted Qt events, in arrival order. Send blocks the worker until the
// handler has run, or until Shutdown; a Send from the window thread itself
// runs the handler at once. After Shutdown both do nothing, so a worker never
// waits on a window that is going away.
class QtMessageSink final : public QObject, public platform::MessageSink {
    Q_OBJECT
public:
    using Handler = std::function<void(const WorkerMessage&)>;

    explicit QtMessageSink(Handler handler, QObject* parent = nullptr);
    ~QtMessageSink() override;

    void Send(platform::Message message) override;
    void Post(platform::Message message) override;

    void Shutdown();
    bool IsShutDown() const;

protected:
    void customEvent(QEvent* event) override;

private:
    struct Shared {
        std::mutex lock;
        std::condition_variable handled;
        bool shutDown = false;
    };

    Handler handler_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace sextara::gui
