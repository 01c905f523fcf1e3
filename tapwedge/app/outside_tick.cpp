#include "app/outside_tick.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <utility>

namespace tapwedge::app {
namespace {

struct Waiting {
    QPointer<QObject> Context;
    std::function<void()> Work;
};

// All on the user-interface thread.
bool tickInProgress = false;
bool running = false;  // the waiting work is being run (it may open a modal loop)
std::deque<Waiting>& Queue() {
    static std::deque<Waiting> queue;
    return queue;
}

void RunWaiting() {
    if (running) return;
    running = true;
    struct Done {
        ~Done() { running = false; }
    } done;
    while (!tickInProgress && !Queue().empty()) {
        Waiting next = std::move(Queue().front());
        Queue().pop_front();
        if (next.Context) next.Work();
    }
}

}  // namespace

bool TickInProgress() { return tickInProgress; }

void RunOutsideTick(QObject* context, std::function<void()> work) {
    if (tickInProgress) {
        Queue().push_back({context, std::move(work)});
        return;
    }
    RunWaiting();  // what waited comes first
    work();
}

void BeginTick() { tickInProgress = true; }

void EndTick() {
    tickInProgress = false;
    RunWaiting();
}

void AbandonTick() {
    tickInProgress = false;
    QTimer::singleShot(0, QCoreApplication::instance(), [] { RunWaiting(); });
}

}  // namespace tapwedge::app
