#include "controller/Controller.h"

namespace tandemo {

void Controller::settingsFileChanged() { (void)followSettingsFile(); }

Expected<void, std::string> Controller::reloadSettings() { return followSettingsFile(); }

Expected<void, std::string> Controller::followSettingsFile() {
  FileChange change = services_.store.readChange();
  LoadResult& now = change.now;
  switch (now.source) {
    case LoadResult::Source::file:
      if (change.changed) {
        // The newest word on the settings: a copy not saved yet must not overwrite it.
        dropPendingSave();
        if (now.state != state_) {
          append("Reloaded the settings file after an edit outside Tandemo");
          applyState(std::move(now.state), /*save=*/false);
        }
      }
      return {};
    case LoadResult::Source::unreadable:
      if (change.changed) {
        // Kept on disk as it is; the next save made here moves it aside first.
        dropPendingSave();
        append("Ignored an unreadable edit of the settings file: " + now.problem);
      }
      return unexpected(now.problem);
    case LoadResult::Source::missing:
      if (change.changed) {
        // Only this copy is left: it is written at the next change, or on quitting at the latest.
        if (!pendingSave_) pendingSave_ = state_;
        append("The settings file was deleted; Tandemo keeps its settings and saves them again");
      }
      return unexpected("There is no settings file at " + settingsFile().string() +
                        "; Tandemo keeps the settings in use.");
  }
  return {};
}

}  // namespace tandemo
