#include "platform/linux/QtMainQueue.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <limits>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// QTimer takes whole milliseconds in an int; longer delays are clamped rather than wrapped.
int timerMilliseconds(double seconds) {
    return int(std::min(std::ceil(std::max(0.0, seconds) * 1000), double(std::numeric_limits<int>::max())));
}

// Runs `work` once, unless cancelled; used by every path so that a cancelled handle never runs its work.
MainQueue::Work guarded(const std::shared_ptr<bool>& cancelled, MainQueue::Work work) {
    return [cancelled, work = std::move(work)] {
        if (*cancelled)
            return;
        *cancelled = true;
        work();
    };
}

class WallClockTimer final : public QObject {
public:
    WallClockTimer(QObject* parent, Instant at, MainQueue::Work work, std::shared_ptr<bool> cancelled)
        : QObject(parent), work_(std::move(work)), cancelled_(std::move(cancelled)) {
        fd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd_ < 0) {
            // No timerfd: fall back to a monotonic delay rather than losing the work.
            const double delay = std::max(0.0, at.secondsSince(Instant::now()));
            QTimer::singleShot(timerMilliseconds(delay), this, [this] { fire(); });
            return;
        }
        const double seconds = std::max(0.0, at.secondsSince1970());
        itimerspec spec{};
        spec.it_value.tv_sec = time_t(seconds);
        spec.it_value.tv_nsec = long((seconds - std::floor(seconds)) * 1e9);
        if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0)
            spec.it_value.tv_nsec = 1; // zero would disarm the timer
        timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { fire(); });
    }

    ~WallClockTimer() override {
        if (fd_ >= 0)
            ::close(fd_);
    }

private:
    void fire() {
        if (notifier_)
            notifier_->setEnabled(false);
        if (!*cancelled_) {
            *cancelled_ = true;
            work_();
        }
        deleteLater();
    }

    MainQueue::Work work_;
    std::shared_ptr<bool> cancelled_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace

QtMainQueue::QtMainQueue(QObject* context) : context_(context ? context : &fallbackContext_) {}

void QtMainQueue::post(Work work) {
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
}

MainQueue::Handle QtMainQueue::postAfter(double seconds, Work work) {
    auto cancelled = std::make_shared<bool>(false);
    QTimer::singleShot(timerMilliseconds(seconds), Qt::PreciseTimer, context_,
                       guarded(cancelled, std::move(work)));
    return Handle(cancelled);
}

MainQueue::Handle QtMainQueue::postAtWallClock(Instant at, Work work) {
    auto cancelled = std::make_shared<bool>(false);
    new WallClockTimer(context_, at, std::move(work), cancelled);
    return Handle(cancelled);
}
