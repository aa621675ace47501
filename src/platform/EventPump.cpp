#include "EventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <thread>

bool OnEventThread() {
    const auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void ProcessPendingEvents() {
    if (OnEventThread()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void Delay(long ms) {
    if (ms <= 0) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (!OnEventThread()) {
        std::this_thread::sleep_until(deadline);
        return;
    }
    // A Qt timer may fire a little early; the loop goes on until the
    // monotonic deadline has really passed.
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return;
        const auto leftMs = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(std::min<long long>(leftMs, 1'000'000)));
        loop.exec();
    }
}
