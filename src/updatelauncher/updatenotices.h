#pragma once

class AutoUpdater;

namespace UpdateNotices {

// Shows the launcher's notices as modal message boxes without parent, each with an
// OK button, before the launcher goes on to its result signal.
void attach(AutoUpdater *updater);

} // namespace UpdateNotices
