#pragma once
// What the user starts while a polling tick is in progress (the tray menu, a menu item, the box
// of an exception) waits until the tick has ended. Every wait of a tick processes messages: a
// modal loop nested in one would let seconds pass that the wait counts as its own, and a window
// that opened would take the keys of a card being typed.
#include <QObject>

#include <functional>

namespace tapwedge::app {

// True from the start to the end of a polling tick.
bool TickInProgress();
// Runs work at once outside a tick; inside one, once the tick has ended, in the order asked.
// Work whose context has been destroyed meanwhile is dropped.
void RunOutsideTick(QObject* context, std::function<void()> work);

// Marks one polling tick (ticks do not nest). Ending it runs the work that waited, unless a
// further tick begins meanwhile (that one's end runs the rest).
void BeginTick();
void EndTick();
// The end of a tick left by an exception: the work that waited runs from the event loop.
void AbandonTick();

}  // namespace tapwedge::app
