#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace sextara::gui {

// One running program per user. The first start listens on a local socket
// named after the user id; a second start finds it, asks it to come to the
// front and ends. A socket that a crashed run left behind answers no one and
// is taken over, unlike a lock file.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name = DefaultName(), QObject* parent = nullptr);

    // "sextara-<uid>".
    static QString DefaultName();

    // True when a running instance took the request to raise its window.
    bool AskRunningInstanceToRaise(int timeoutMs = 1000);
    // Starts listening; false when the name cannot be taken.
    bool Listen();

signals:
    void raiseRequested();

private:
    QString name_;
    QLocalServer server_;
};

// SIGTERM, SIGINT and SIGHUP turned into a Qt signal on the window thread
// through a self-pipe, so that the program closes in order.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    void Drain();
};

}  // namespace sextara::gui
