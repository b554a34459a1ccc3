#pragma once

// The application's About panel: its name, version and copyright. One panel at a time; showing it
// again brings the open one to the front. Main thread.
namespace AboutPanel {

void show();

} // namespace AboutPanel
