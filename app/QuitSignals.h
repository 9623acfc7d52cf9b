// SIGTERM, SIGHUP and SIGINT as a Qt signal.  The signal handler only writes
// the signal's number into a pipe; a socket notifier on the other end emits
// Received on the event loop, so whatever answers it runs as any other event
// does, also inside the event handling that a running rip lets through.
#pragma once

#include <QObject>

class QSocketNotifier;

class TQuitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; the destructor puts the previous ones back.  One
    // object at a time.  Without a pipe (no file descriptors left) the
    // signals keep their previous handling.
    explicit TQuitSignals(QObject* parent = nullptr);
    ~TQuitSignals() override;
    TQuitSignals(const TQuitSignals&) = delete;
    TQuitSignals& operator=(const TQuitSignals&) = delete;

    // The signals Received has been emitted for.
    int Count() const { return FCount; }

signals:
    void Received(int signalNumber);

private:
    void Drain();

    int FReadEnd = -1;
    QSocketNotifier* FNotifier = nullptr;
    int FCount = 0;
};
