// SIGINT and SIGTERM, delivered on the UI thread through the Qt event loop.
#ifndef SONVALE_APP_QT_TERMINATION_SIGNALS_H
#define SONVALE_APP_QT_TERMINATION_SIGNALS_H

#include <functional>
#include <memory>

class QSocketNotifier;

namespace sonvale::qt {

class TerminationSignals {
public:
    // Calls onSignal on the UI thread when SIGINT or SIGTERM arrives.
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace sonvale::qt

#endif
