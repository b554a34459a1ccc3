#pragma once

class QObject;

// Hands the memory the process has freed back to the system. The allocator keeps freed blocks for
// reuse, so a large window torn down (its engine, scene graph and compiled views) would leave the
// process as large as it was while the window showed. A few milliseconds at most.
namespace FreedMemory {

// At once; any thread.
void giveBack();
// On the turn of the event loop after `object` and its children are deleted; main thread.
void giveBackOnceGone(QObject *object);

} // namespace FreedMemory
